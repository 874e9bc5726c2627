// The Windows build of the atomic save: the same guarantees as the POSIX one
// with the system's own calls: the temporary file is created exclusively,
// committed to disk (_commit), then moved over the target in one step
// (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/atomic_file.h"
#include "core/atomic_file_parts.h"
#include "core/interrupt.h"

namespace kwhost {

namespace fs = std::filesystem;

namespace {

std::string keptNote(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec) ? "; the existing file is unchanged" : "; nothing was written";
}

std::string systemMessage(DWORD code) { return std::system_category().message(int(code)); }

}  // namespace

// A link is followed (its target gets the new content); a folder or a device
// is refused rather than replaced.
Result<std::string> saveTarget(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(path, ec);
  if (ec || !fs::exists(st)) return path;  // a new file
  std::string real = path;
  fs::file_status target = st;
  if (fs::is_symlink(st)) {
    fs::path resolved = fs::canonical(path, ec);
    if (ec) return fail(path + ": is a link to nothing that exists");
    real = resolved.string();
    target = fs::status(real, ec);
  }
  if (fs::is_directory(target)) return fail(path + ": is a folder");
  if (!fs::is_regular_file(target)) return fail(path + ": is not a regular file (a device or pipe); nothing was written");
  return real;
}

Result<void> folderWritable(const std::string& path, const std::string& dir) {
  // Access rights on Windows folders are not told by their attributes: try.
  const std::string probe = temporaryName(path, ::_getpid());
  const int fd = ::_wopen(fs::path(probe).wstring().c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
  if (fd < 0) return fail(path + ": the folder " + dir + " is not writable");
  ::_close(fd);
  std::error_code ec;
  fs::remove(probe, ec);
  return {};
}

Result<void> writeFileAtomically(const std::string& given,
                                 const std::function<bool(std::FILE*, std::string*)>& write) {
  if (auto ok = checkWritable(given); !ok) return fail(ok.error() + keptNote(given));
  const std::string path = *saveTarget(given);
  const std::string dir = folderOf(path);
  const std::string tmp = temporaryName(path, ::_getpid());
  const std::wstring wtmp = fs::path(tmp).wstring();
  StopRemovesFile onStop(tmp);  // a stop (Ctrl-C) while it is written removes it
  const int fd = ::_wopen(wtmp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return fail(path + ": cannot create a temporary file in " + dir + ": " + std::strerror(errno) + keptNote(path));
  std::FILE* f = ::_fdopen(fd, "wb");
  if (!f) {
    const int e = errno;
    ::_close(fd);
    ::_wremove(wtmp.c_str());
    return fail(path + ": cannot write: " + std::strerror(e) + keptNote(path));
  }
  std::string why;
  bool ok = write(f, &why);
  if (ok && (std::fflush(f) != 0 || std::ferror(f))) ok = false, why = std::string("write failed: ") + std::strerror(errno);
  if (ok && ::_commit(::_fileno(f)) != 0) ok = false, why = std::string("cannot flush to disk: ") + std::strerror(errno);
  if (std::fclose(f) != 0 && ok) ok = false, why = std::string("write failed: ") + std::strerror(errno);
  if (ok && !::MoveFileExW(wtmp.c_str(), fs::path(path).wstring().c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    why = "cannot replace the file: " + systemMessage(::GetLastError());
  }
  if (!ok) {
    ::_wremove(wtmp.c_str());
    return fail(path + ": " + (why.empty() ? "write failed" : why) + keptNote(path));
  }
  onStop.release();
  return {};
}

}  // namespace kwhost
