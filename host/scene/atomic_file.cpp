// The atomic save of a whole string, the same on every system; the
// per-system builds (atomic_file_posix.cpp, atomic_file_windows.cpp) write
// through a callback.
#include "scene/atomic_file.h"

#include <cerrno>
#include <cstring>

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

}  // namespace kwhost
