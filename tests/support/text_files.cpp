#include "text_files.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kwtest {

std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void writeText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

size_t countLines(std::string_view text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p.data(), p.size());
  return s;
}

}  // namespace kwtest
