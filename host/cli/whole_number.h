// Options that take a whole number, read with a message a user can act on
// ("--frames: expected a whole number from 0 up, got "abc"") instead of the
// parser's generic range text.
#ifndef KWHOST_CLI_WHOLE_NUMBER_H
#define KWHOST_CLI_WHOLE_NUMBER_H

#include <cstdint>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace kwhost::cli {

// The number text holds, or nothing when it is not a whole decimal number
// from min to max (leading '+' allowed, no spaces, no fraction, no exponent).
std::optional<int64_t> parseWholeNumber(const std::string& text, int64_t min, int64_t max);

// A validator for an option read as text and converted with parseWholeNumber.
CLI::Validator wholeNumber(int64_t min, int64_t max, const std::string& unit);

}  // namespace kwhost::cli

#endif
