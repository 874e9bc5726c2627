// The kestrelwood program run as a user runs it: in a shell, with its exit
// status and what it printed on each stream.
#ifndef KW_TESTS_SUPPORT_PROGRAM_RUN_H
#define KW_TESTS_SUPPORT_PROGRAM_RUN_H

#include <string>

namespace kwtest {

// The program this build made.
const char* programPath();

struct Ran {
  int status;  // the exit status; -1 when the program did not exit (a signal)
  std::string out, err;
};

// s in single quotes, for a shell.
std::string quote(const std::string& s);

// args as a shell takes them, after env (shell assignments such as
// "NAME=value ", or ""); standard input is empty, and the two output streams
// are caught in files in dir, read and removed.
Ran kestrelwood(const std::string& args, const std::string& dir, const std::string& env = "");

}  // namespace kwtest

#endif
