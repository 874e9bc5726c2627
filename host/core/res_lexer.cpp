#include "core/res_lexer.h"

#include <cctype>

namespace kwhost {

namespace {
bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

Result<std::vector<ResToken>> lexResource(std::string_view s, const std::string& file) {
  std::vector<ResToken> out;
  int line = 1;
  size_t i = 0;
  auto err = [&](const std::string& what) { return fail(file + ":" + std::to_string(line) + ": " + what); };
  // A UTF-8 byte order mark is allowed at the start.
  if (s.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const int start = line;
      i += 2;
      while (i + 1 < s.size() && !(s[i] == '*' && s[i + 1] == '/')) {
        if (s[i] == '\n') ++line;
        ++i;
      }
      if (i + 1 >= s.size()) {
        line = start;
        return err("comment is not closed");
      }
      i += 2;
    } else if (c == '#') {
      // Preprocessor lines of the headers (#ifndef, #define, #endif).
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (identStart(c)) {
      size_t j = i;
      while (j < s.size() && identChar(s[j])) ++j;
      out.push_back({ResToken::Ident, std::string(s.substr(i, j - i)), line});
      i = j;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || ((c == '-' || c == '+' || c == '.') && i + 1 < s.size() &&
                                                              (std::isdigit(static_cast<unsigned char>(s[i + 1])) ||
                                                               s[i + 1] == '.'))) {
      size_t j = i + 1;
      while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '.' ||
                              ((s[j] == '-' || s[j] == '+') && (s[j - 1] == 'e' || s[j - 1] == 'E'))))
        ++j;
      out.push_back({ResToken::Number, std::string(s.substr(i, j - i)), line});
      i = j;
    } else if (c == '"') {
      std::string text;
      const int start = line;
      ++i;
      for (;;) {
        if (i >= s.size() || s[i] == '\n') {
          line = start;
          return err("text is not closed with \"");
        }
        char d = s[i++];
        if (d == '"') break;
        if (d != '\\') {
          text += d;
          continue;
        }
        if (i >= s.size()) return err("text ends in an escape");
        char e = s[i++];
        switch (e) {
          case '"': text += '"'; break;
          case '\\': text += '\\'; break;
          case 'n': text += '\n'; break;
          case 't': text += '\t'; break;
          case 'x': {
            int h1 = i < s.size() ? hexValue(s[i]) : -1;
            int h2 = i + 1 < s.size() ? hexValue(s[i + 1]) : -1;
            if (h1 < 0 || h2 < 0) return err("\\x needs two hexadecimal digits");
            text += static_cast<char>(h1 * 16 + h2);
            i += 2;
            break;
          }
          default: return err(std::string("unknown escape \\") + e);
        }
      }
      out.push_back({ResToken::Text, std::move(text), start});
    } else if (c == '{' || c == '}' || c == ';' || c == '=' || c == ',' || c == '(' || c == ')' || c == '-') {
      out.push_back({ResToken::Punct, std::string(1, c), line});
      ++i;
    } else {
      return err(std::string("unexpected character '") + c + "'");
    }
  }
  out.push_back({ResToken::End, "", line});
  return out;
}

Error ResCursor::error(const std::string& what) const {
  const ResToken& t = peek();
  std::string found = t.kind == ResToken::End ? "the end of the file" : "'" + t.text + "'";
  return Error{file_ + ":" + std::to_string(t.line) + ": " + what + " (found " + found + ")"};
}

Result<std::string> ResCursor::expectIdent(const char* what) {
  if (peek().kind != ResToken::Ident) return error(std::string("expected ") + what);
  return take().text;
}

Result<void> ResCursor::expectPunct(char c) {
  if (!isPunct(c)) return error(std::string("expected '") + c + "'");
  take();
  return {};
}

}  // namespace kwhost
