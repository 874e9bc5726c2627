#include "cli/option_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kwhost::cli {

std::optional<int64_t> parseWholeNumber(const std::string& text, int64_t min, int64_t max) {
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') ++b;
  if (b == e) return std::nullopt;
  int64_t v = 0;
  auto [end, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || end != e || v < min || v > max) return std::nullopt;
  return v;
}

CLI::Validator wholeNumber(int64_t min, int64_t max, const std::string& unit) {
  std::string range = max == std::numeric_limits<int64_t>::max()
                          ? "from " + std::to_string(min) + " up"
                          : "from " + std::to_string(min) + " to " + std::to_string(max);
  std::string expected = "expected a whole number " + (unit.empty() ? "" : "of " + unit + " ") + range;
  return CLI::Validator(
      [min, max, expected](std::string& text) -> std::string {
        if (parseWholeNumber(text, min, max)) return {};
        return expected + ", got \"" + text + "\"";
      },
      "N");
}

CLI::Validator distance() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const double v = text.empty() ? -1 : std::strtod(text.c_str(), &end);
        if (end && *end == '\0' && std::isfinite(v) && v >= 0) return {};
        return "expected a distance of 0 or more in scene units, got \"" + text + "\"";
      },
      "D");
}

CLI::Validator oneOf(std::vector<std::string> words) {
  std::string list;
  for (size_t i = 0; i < words.size(); ++i) list += (i ? (i + 1 == words.size() ? " or " : ", ") : "") + words[i];
  return CLI::Validator(
      [words, list](std::string& text) -> std::string {
        for (const std::string& w : words)
          if (text == w) return {};
        return "expected " + list + ", got \"" + text + "\"";
      },
      "WORD");
}

}  // namespace kwhost::cli
