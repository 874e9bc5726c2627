// Tokens of the host's resource files (string tables, descriptions and the
// C headers that number their symbols): identifiers, numbers, quoted texts
// and punctuation, with // and /* */ comments skipped.
#ifndef KWHOST_RES_LEXER_H
#define KWHOST_RES_LEXER_H

#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace kwhost {

struct ResToken {
  enum Kind { Ident, Number, Text, Punct, End } kind = End;
  std::string text;  // identifier, number as written, decoded text, or the punctuation character
  int line = 0;
};

// Texts are "..." with the escapes \" \\ \n \t and \xHH; the bytes between
// are kept as they are (UTF-8).
Result<std::vector<ResToken>> lexResource(std::string_view src, const std::string& file);

// Walks a token list; every error names file and line.
class ResCursor {
 public:
  ResCursor(const std::vector<ResToken>& t, std::string file) : t_(t), file_(std::move(file)) {}
  const ResToken& peek() const { return t_[i_]; }
  const ResToken& take() { return i_ + 1 < t_.size() ? t_[i_++] : t_.back(); }
  bool atEnd() const { return peek().kind == ResToken::End; }
  bool isPunct(char c) const { return peek().kind == ResToken::Punct && peek().text[0] == c; }
  bool isIdent(std::string_view s) const { return peek().kind == ResToken::Ident && peek().text == s; }
  Error error(const std::string& what) const;
  Result<std::string> expectIdent(const char* what);
  Result<void> expectPunct(char c);

 private:
  const std::vector<ResToken>& t_;
  std::string file_;
  size_t i_ = 0;
};

}  // namespace kwhost

#endif
