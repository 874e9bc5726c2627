#include "replace_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include <unistd.h>

namespace kwhost {

bool replaceFile(const std::string& path, const std::function<bool(std::ostream&, std::string*)>& write,
                 std::string* error) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = path + ": folder " + folder.string() + " does not exist";
    return false;
  }
  // Unique enough among concurrent writers: the process id and a random tag.
  std::random_device rd;
  const fs::path tmp = folder / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(rd() & 0xffffffu));
  bool ok = false;
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) {
      *error = tmp.string() + ": cannot create: " + std::strerror(errno);
      return false;
    }
    std::string why;
    ok = write(out, &why);
    out.flush();
    if (ok && !out) {
      ok = false;
      why = "write failed (disk full?)";
    }
    if (!ok) *error = path + ": " + (why.empty() ? "write failed" : why);
  }
  if (ok) {
    fs::rename(tmp, target, ec);
    if (ec) {
      ok = false;
      *error = path + ": cannot replace: " + ec.message();
    }
  }
  if (!ok) fs::remove(tmp, ec);
  return ok;
}

}  // namespace kwhost
