#include "core/description.h"

#include <cerrno>
#include <cstdlib>
#include <map>

#include "core/res_lexer.h"
#include "core/resources.h"
#include "core/host_strings.h"

namespace kwhost {

const char* paramTypeName(ParamType t) {
  switch (t) {
    case ParamType::Bool: return "bool";
    case ParamType::Long: return "long";
    case ParamType::Real: return "real";
    case ParamType::Link: return "link";
    case ParamType::Button: return "button";
    case ParamType::String: return "string";
    case ParamType::Matrix: return "matrix";
  }
  return "?";
}

const DescriptionEntry* DescriptionInfo::find(std::string_view name) const {
  for (const auto& e : entries)
    if (e.name == name) return &e;
  return nullptr;
}

const DescriptionEntry* DescriptionInfo::find(int32_t id) const {
  for (const auto& e : entries)
    if (e.id == id) return &e;
  return nullptr;
}

namespace {

bool elementType(std::string_view word, ParamType* t) {
  static const std::map<std::string_view, ParamType> kTypes = {
      {"BOOL", ParamType::Bool},     {"LONG", ParamType::Long},     {"REAL", ParamType::Real},
      {"LINK", ParamType::Link},     {"BUTTON", ParamType::Button}, {"STRING", ParamType::String},
      {"MATRIX", ParamType::Matrix},
  };
  auto it = kTypes.find(word);
  if (it == kTypes.end()) return false;
  *t = it->second;
  return true;
}

// Skips a { ... } block, nested blocks included.
Result<void> skipBlock(ResCursor& c) {
  if (auto r = c.expectPunct('{'); !r) return r;
  int depth = 1;
  while (depth > 0) {
    if (c.atEnd()) return c.error("block is not closed");
    if (c.isPunct('{')) ++depth;
    if (c.isPunct('}')) --depth;
    c.take();
  }
  return {};
}

Result<double> number(ResCursor& c, const std::string& what) {
  bool negative = false;
  if (c.isPunct('-')) {
    negative = true;
    c.take();
  }
  if (c.peek().kind != ResToken::Number) return c.error("expected a number for " + what);
  const std::string& s = c.peek().text;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (errno || *end) return c.error("not a number");
  c.take();
  return negative ? -v : v;
}

struct Parser {
  ResCursor& c;
  const std::map<std::string, int32_t>& ids;
  std::string headerFile;
  DescriptionInfo& out;

  Result<void> element(ParamType type) {
    const int line = c.peek().line;
    auto name = c.expectIdent("a parameter symbol");
    if (!name) return Error{name.error()};
    auto id = ids.find(name.value());
    if (id == ids.end()) return c.error(name.value() + " (line " + std::to_string(line) + ") is not numbered in " + headerFile);
    if (out.find(id->second) || out.find(name.value())) return c.error(name.value() + " is described twice");
    DescriptionEntry e;
    e.id = id->second;
    e.name = name.value();
    e.type = type;
    if (auto r = c.expectPunct('{'); !r) return r;
    while (!c.isPunct('}')) {
      auto key = c.expectIdent("a property");
      if (!key) return Error{key.error()};
      const std::string& k = key.value();
      if (k == "DEFAULT" || k == "MIN" || k == "MAX") {
        auto v = number(c, k);
        if (!v) return Error{v.error()};
        (k == "DEFAULT" ? e.def : k == "MIN" ? e.min : e.max) = v.value();
        if (auto r = c.expectPunct(';'); !r) return r;
      } else if (k == "HIDDEN") {
        e.hidden = true;
        if (auto r = c.expectPunct(';'); !r) return r;
      } else if (c.isPunct('{')) {
        if (auto r = skipBlock(c); !r) return r;  // e.g. ACCEPT { Obase; }
      } else {
        // Presentation only (UNIT, STEP, ...): up to the ';'.
        while (!c.isPunct(';')) {
          if (c.atEnd() || c.isPunct('}') || c.isPunct('{')) return c.error("expected ';' after " + k);
          c.take();
        }
        c.take();
      }
    }
    c.take();
    if (e.min && e.max && *e.min > *e.max) return c.error(e.name + ": MIN is greater than MAX");
    if (e.def && ((e.min && *e.def < *e.min) || (e.max && *e.def > *e.max)))
      return c.error(e.name + ": DEFAULT lies outside MIN..MAX");
    out.entries.push_back(std::move(e));
    return {};
  }

  Result<void> items() {
    if (auto r = c.expectPunct('{'); !r) return r;
    while (!c.isPunct('}')) {
      auto word = c.expectIdent("NAME, INCLUDE, GROUP or a parameter type");
      if (!word) return Error{word.error()};
      ParamType type;
      if (word.value() == "NAME" || word.value() == "INCLUDE") {
        auto v = c.expectIdent("a name");
        if (!v) return Error{v.error()};
        if (auto r = c.expectPunct(';'); !r) return r;
      } else if (word.value() == "GROUP") {
        if (c.peek().kind == ResToken::Ident) c.take();
        if (auto r = items(); !r) return r;
      } else if (elementType(word.value(), &type)) {
        if (auto r = element(type); !r) return r;
      } else {
        return c.error("unknown description element " + word.value());
      }
    }
    c.take();
    return {};
  }
};

}  // namespace

Result<DescriptionInfo> loadDescriptionFiles(const std::string& resFolder, const std::string& name) {
  if (name.empty() || name.find_first_of("/\\.") != std::string::npos)
    return fail("invalid description name \"" + name + "\"");
  const std::string dir = joinPath(resFolder, "description");
  const std::string resFile = joinPath(dir, name + ".res");
  const std::string hFile = joinPath(dir, name + ".h");
  const std::string strFile = joinPath(joinPath(joinPath(resFolder, "strings_us"), "description"), name + ".str");

  std::string text;
  if (!readFile(hFile, &text)) return fail(hFile + ": cannot be read");
  auto ids = parseSymbolHeader(text, hFile);
  if (!ids) return Error{ids.error()};
  if (!readFile(strFile, &text)) return fail(strFile + ": cannot be read");
  auto labels = parseStringTable(text, strFile);
  if (!labels) return Error{labels.error()};
  if (!readFile(resFile, &text)) return fail(resFile + ": cannot be read");
  auto toks = lexResource(text, resFile);
  if (!toks) return Error{toks.error()};

  DescriptionInfo info;
  info.resource = name;
  ResCursor c(toks.value(), resFile);
  if (!c.isIdent("CONTAINER")) return c.error("expected CONTAINER");
  c.take();
  auto cname = c.expectIdent("the description's name");
  if (!cname) return Error{cname.error()};
  if (cname.value() != name) return c.error("the container is named " + cname.value() + ", not " + name);
  Parser p{c, ids.value(), hFile, info};
  if (auto r = p.items(); !r) return Error{r.error()};
  if (!c.atEnd()) return c.error("text after the end of the container");

  auto own = labels->find(name);
  info.label = own != labels->end() ? own->second : name;
  for (auto& e : info.entries) {
    auto l = labels->find(e.name);
    e.label = l != labels->end() ? l->second : e.name;
  }
  return info;
}

}  // namespace kwhost
