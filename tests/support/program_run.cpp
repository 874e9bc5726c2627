#include "program_run.h"

#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "text_files.h"

namespace kwtest {

const char* programPath() { return KW_PROGRAM; }

std::string quote(const std::string& s) { return "'" + s + "'"; }

Ran kestrelwood(const std::string& args, const std::string& dir, const std::string& env) {
  const std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
  const std::string cmd =
      env + quote(programPath()) + " " + args + " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
  const int rc = std::system(cmd.c_str());
#ifdef _WIN32
  const int status = rc;
#else
  const int status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
  Ran r{status, readText(out), readText(err)};
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

}  // namespace kwtest
