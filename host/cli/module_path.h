// Where the program finds the module when no --module names one: beside
// itself, as the build and the packages lay it out.
#ifndef KWHOST_CLI_MODULE_PATH_H
#define KWHOST_CLI_MODULE_PATH_H

#include <string>
#include <vector>

namespace kwhost::cli {

// The folder of the running program (symbolic links resolved); argv0 is the
// fallback where /proc/self/exe cannot be read.
std::string programFolder(const char* argv0);
// The running program's own file (for starting it again as a worker).
std::string programFile(const char* argv0);
// In order: $KESTRELWOOD_MODULE, FOLDER/../plugins/Kestrelwood/Kestrelwood.so (.rir64, .cdl, .dylib on the other systems),
// FOLDER/plugins/Kestrelwood/Kestrelwood.so.
std::vector<std::string> moduleCandidates(const std::string& programFolder);
// The first candidate that exists; the first one when none does (the loader
// then says that it is missing).
std::string defaultModule(const char* argv0);

}  // namespace kwhost::cli

#endif
