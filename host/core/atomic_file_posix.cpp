#include "core/atomic_file.h"
#include "core/interrupt.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/atomic_file_parts.h"

namespace kwhost {

namespace fs = std::filesystem;

namespace {

std::string keptNote(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 ? "; the existing file is unchanged" : "; nothing was written";
}

}  // namespace

// The file a save really replaces: a symbolic link is followed, so the link
// stays and its target gets the new content; anything that exists and is not
// a regular file (a device, a pipe, a socket) is refused, because renaming over
// it would destroy it rather than write into it.
Result<std::string> saveTarget(const std::string& path) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return path;  // a new file
  std::string real = path;
  if (S_ISLNK(st.st_mode)) {
    std::error_code ec;
    fs::path target = fs::canonical(path, ec);
    if (ec) return fail(path + ": is a link to nothing that exists");
    real = target.string();
    if (::stat(real.c_str(), &st) != 0) return fail(path + ": cannot follow the link: " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) return fail(path + ": is a folder");
  if (!S_ISREG(st.st_mode)) return fail(path + ": is not a regular file (a device, pipe or socket); nothing was written");
  return real;
}

Result<void> folderWritable(const std::string& path, const std::string& dir) {
  if (::access(dir.c_str(), W_OK) != 0) return fail(path + ": the folder " + dir + " is not writable");
  return {};
}

Result<void> writeFileAtomically(const std::string& given,
                                 const std::function<bool(std::FILE*, std::string*)>& write) {
  if (auto ok = checkWritable(given); !ok) return fail(ok.error() + keptNote(given));
  const std::string path = *saveTarget(given);
  const std::string dir = folderOf(path);
  const std::string tmp = temporaryName(path, ::getpid());
  // A stop (Ctrl-C) while the file is written removes it.
  StopRemovesFile onStop(tmp);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return fail(path + ": cannot create a temporary file in " + dir + ": " + std::strerror(errno) + keptNote(path));
  // A replaced file keeps its permissions.
  struct stat old{};
  if (::stat(path.c_str(), &old) == 0) (void)::fchmod(fd, old.st_mode & 07777);
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    int e = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    return fail(path + ": cannot write: " + std::strerror(e) + keptNote(path));
  }
  std::string why;
  bool ok = write(f, &why);
  if (ok && (std::fflush(f) != 0 || std::ferror(f))) ok = false, why = std::string("write failed: ") + std::strerror(errno);
  if (ok && ::fsync(::fileno(f)) != 0) ok = false, why = std::string("cannot flush to disk: ") + std::strerror(errno);
  if (std::fclose(f) != 0 && ok) ok = false, why = std::string("write failed: ") + std::strerror(errno);
  if (ok) {
    // Renamed and forgotten together: a stop in between would remove the
    // finished file.
    HoldStops hold;
    if (::rename(tmp.c_str(), path.c_str()) != 0) ok = false, why = std::string("cannot replace the file: ") + std::strerror(errno);
    else onStop.release();
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return fail(path + ": " + (why.empty() ? "write failed" : why) + keptNote(path));
  }
  // Make the rename itself durable (best effort: not every file system allows it).
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    (void)::fsync(dfd);
    ::close(dfd);
  }
  return {};
}

}  // namespace kwhost
