// Options' values checked with a message a user can act on ("--frames:
// expected a whole number of frames from 0 up, got "abc"") instead of the
// parser's generic range text.
#ifndef KWHOST_CLI_OPTION_VALUES_H
#define KWHOST_CLI_OPTION_VALUES_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace kwhost::cli {

// The number text holds, or nothing when it is not a whole decimal number
// from min to max (leading '+' allowed, no spaces, no fraction, no exponent).
std::optional<int64_t> parseWholeNumber(const std::string& text, int64_t min, int64_t max);

// A validator for an option read as text and converted with parseWholeNumber.
CLI::Validator wholeNumber(int64_t min, int64_t max, const std::string& unit);

// A finite distance of 0 or more, in scene units.
CLI::Validator distance();

// One of the words given (for each item of a list option).
CLI::Validator oneOf(std::vector<std::string> words);

}  // namespace kwhost::cli

#endif
