// Whole files as text, for tests that write their inputs and read what a
// run wrote.
#ifndef KW_TESTS_SUPPORT_TEXT_FILES_H
#define KW_TESTS_SUPPORT_TEXT_FILES_H

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kwtest {

// The file's bytes; "" when it cannot be read.
std::string readText(const std::filesystem::path& path);
// Replaces the file with text (a test's input: no atomic save needed).
void writeText(const std::filesystem::path& path, const std::string& text);
// The number of line ends in text.
size_t countLines(std::string_view text);
// The parts joined (appended: GCC 12 warns wrongly, -Wrestrict, on "text" + string).
std::string cat(std::initializer_list<std::string_view> parts);

}  // namespace kwtest

#endif
