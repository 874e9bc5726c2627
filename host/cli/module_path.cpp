#include "cli/module_path.h"

#include <cstdlib>
#include <filesystem>

namespace kwhost::cli {

namespace fs = std::filesystem;

namespace {
// The module's file name on the system this host is built for.
#if defined(_WIN64)
constexpr const char* kModuleFile = "Kestrelwood.rir64";
#elif defined(_WIN32)
constexpr const char* kModuleFile = "Kestrelwood.cdl";
#elif defined(__APPLE__)
constexpr const char* kModuleFile = "Kestrelwood.dylib";
#else
constexpr const char* kModuleFile = "Kestrelwood.so";
#endif
}  // namespace

std::string programFile(const char* argv0) {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) {
    exe = fs::weakly_canonical(fs::path(argv0 ? argv0 : "."), ec);
    if (ec) exe = fs::absolute(argv0 ? argv0 : ".", ec);
  }
  return exe.string();
}

std::string programFolder(const char* argv0) { return fs::path(programFile(argv0)).parent_path().string(); }

std::vector<std::string> moduleCandidates(const std::string& folder) {
  std::vector<std::string> out;
  if (const char* env = std::getenv("KESTRELWOOD_MODULE"); env && *env) out.push_back(env);
  const fs::path dir(folder);
  out.push_back((dir.parent_path() / "plugins" / "Kestrelwood" / kModuleFile).lexically_normal().string());
  out.push_back((dir / "plugins" / "Kestrelwood" / kModuleFile).lexically_normal().string());
  return out;
}

std::string defaultModule(const char* argv0) {
  // A module named in the environment is taken as it is, found or not.
  if (const char* env = std::getenv("KESTRELWOOD_MODULE"); env && *env) return env;
  const auto candidates = moduleCandidates(programFolder(argv0));
  for (const std::string& c : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(c, ec)) return c;
  }
  return candidates.front();
}

}  // namespace kwhost::cli
