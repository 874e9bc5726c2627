#include "core/resources.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/res_lexer.h"
#include "core/host_strings.h"

namespace kwhost {

bool readFile(const std::string& path, std::string* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data.append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  if (ok) *out = std::move(data);
  return ok;
}

bool isTiffFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char h[4] = {0, 0, 0, 0};
  const size_t n = std::fread(h, 1, 4, f);
  std::fclose(f);
  if (n != 4) return false;
  return (h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0) ||
         (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42);
}

Result<std::map<std::string, int32_t>> parseSymbolHeader(std::string_view text, const std::string& file) {
  auto toks = lexResource(text, file);
  if (!toks) return Error{toks.error()};
  ResCursor c(toks.value(), file);
  std::map<std::string, int32_t> out;
  bool sawEnum = false;
  while (!c.atEnd()) {
    if (!c.isIdent("enum")) {
      c.take();
      continue;
    }
    sawEnum = true;
    c.take();
    if (c.peek().kind == ResToken::Ident) c.take();  // enum name
    if (auto r = c.expectPunct('{'); !r) return Error{r.error()};
    int64_t next = 0;
    while (!c.isPunct('}')) {
      auto name = c.expectIdent("a symbol name");
      if (!name) return Error{name.error()};
      int64_t value = next;
      if (c.isPunct('=')) {
        c.take();
        if (c.peek().kind != ResToken::Number) return c.error("expected a number after '='");
        const std::string& num = c.peek().text;
        errno = 0;
        char* end = nullptr;
        value = std::strtoll(num.c_str(), &end, 0);
        if (errno || *end || value < INT32_MIN || value > INT32_MAX) return c.error("not a 32-bit integer");
        c.take();
      }
      if (value > INT32_MAX) return c.error("value beyond 32 bits");
      if (!out.emplace(name.value(), static_cast<int32_t>(value)).second)
        return c.error("symbol " + name.value() + " is defined twice");
      next = value + 1;
      if (c.isPunct(',')) c.take();
      else if (!c.isPunct('}')) return c.error("expected ',' or '}'");
    }
    c.take();
    if (c.isPunct(';')) c.take();
  }
  if (!sawEnum) return fail(file + ": no enum of symbols found");
  return out;
}

Result<std::map<std::string, std::string>> parseStringTable(std::string_view text, const std::string& file) {
  auto toks = lexResource(text, file);
  if (!toks) return Error{toks.error()};
  ResCursor c(toks.value(), file);
  if (!c.isIdent("STRINGTABLE")) return c.error("expected STRINGTABLE");
  c.take();
  if (c.peek().kind == ResToken::Ident) c.take();  // table name
  if (auto r = c.expectPunct('{'); !r) return Error{r.error()};
  std::map<std::string, std::string> out;
  while (!c.isPunct('}')) {
    auto name = c.expectIdent("a symbol name");
    if (!name) return Error{name.error()};
    if (c.peek().kind != ResToken::Text) return c.error("expected the text of " + name.value());
    std::string value = c.take().text;
    while (c.peek().kind == ResToken::Text) value += c.take().text;  // adjacent texts join
    if (auto r = c.expectPunct(';'); !r) return Error{r.error()};
    if (!out.emplace(name.value(), std::move(value)).second) return c.error(name.value() + " is listed twice");
  }
  c.take();
  if (!c.atEnd()) return c.error("text after the end of the table");
  return out;
}

Result<Resource> loadResource(const std::string& moduleFolder) {
  const std::string res = joinPath(moduleFolder, "res");
  const std::string symbolsFile = joinPath(res, "c4d_symbols.h");
  const std::string stringsFile = joinPath(joinPath(res, "strings_us"), "c4d_strings.str");
  std::string text;
  if (!readFile(symbolsFile, &text)) return fail(symbolsFile + ": cannot be read");
  auto symbols = parseSymbolHeader(text, symbolsFile);
  if (!symbols) return Error{symbols.error()};
  if (!readFile(stringsFile, &text)) return fail(stringsFile + ": cannot be read");
  auto table = parseStringTable(text, stringsFile);
  if (!table) return Error{table.error()};
  Resource r;
  r.folder = res;
  for (auto& [name, value] : table.value()) {
    auto it = symbols->find(name);
    if (it == symbols->end()) return fail(stringsFile + ": " + name + " is not numbered in " + symbolsFile);
    r.strings[it->second] = value;
  }
  return r;
}

}  // namespace kwhost
