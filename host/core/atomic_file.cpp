// The atomic save of a whole string, and the names, the same on every
// system; the per-system builds (atomic_file_posix.cpp,
// atomic_file_windows.cpp) write through a callback.
#include "core/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "core/atomic_file_parts.h"

namespace kwhost {

std::string folderOf(const std::string& path) {
  std::filesystem::path p(path);
  return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

std::string temporaryName(const std::string& path, long long pid) {
  std::random_device rd;
  // Built by appending: GCC 12 warns wrongly (-Wrestrict) on "." + name.
  std::string name(1, '.');
  name.append(std::filesystem::path(path).filename().string());
  name.append(".tmp-");
  name.append(std::to_string(pid));
  name.push_back('-');
  name.append(std::to_string(rd() & 0xffffff));
  return (std::filesystem::path(folderOf(path)) / name).string();
}

Result<void> writeFileAtomically(const std::string& path, const std::string& content) {
  return writeFileAtomically(path, [&content](std::FILE* f, std::string* why) {
    if (std::fwrite(content.data(), 1, content.size(), f) != content.size()) {
      *why = std::string("write failed: ") + std::strerror(errno);
      return false;
    }
    return true;
  });
}

Result<void> checkWritable(const std::string& given) {
  if (given.empty()) return fail("no file name given");
  auto target = saveTarget(given);
  if (!target) return fail(target.error());
  const std::string& path = *target;
  const std::string dir = folderOf(path);
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return fail(path + ": the folder " + dir + " does not exist");
  if (std::filesystem::is_directory(path, ec)) return fail(path + ": is a folder");
  return folderWritable(path, dir);
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
