// The atomic save of a whole string, the same on every system; the
// per-system builds (atomic_file_posix.cpp, atomic_file_windows.cpp) write
// through a callback.
#include "core/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kwhost {

Result<void> writeFileAtomically(const std::string& path, const std::string& content) {
  return writeFileAtomically(path, [&content](std::FILE* f, std::string* why) {
    if (std::fwrite(content.data(), 1, content.size(), f) != content.size()) {
      *why = std::string("write failed: ") + std::strerror(errno);
      return false;
    }
    return true;
  });
}

Result<void> prepareOutput(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    // Walk up to the first part that exists: a file there is the usual fault.
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
      if (fs::exists(p, ec)) {
        if (!fs::is_directory(p, ec)) return fail(path + ": " + p.string() + " is a file, not a folder");
        break;
      }
      if (p == p.parent_path()) break;
    }
    fs::create_directories(folder, ec);
    if (ec) return fail(path + ": cannot create the folder " + folder.string() + ": " + ec.message());
  }
  return checkWritable(path);
}

}  // namespace kwhost
