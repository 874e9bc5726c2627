// The host's console and general services: every printed line kept as its
// exact bytes (a line in the console-output form starts with 0x01), the
// command line the host was given, and the count of refresh requests.
#ifndef KWHOST_CONSOLE_H
#define KWHOST_CONSOLE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "c4d_hosttable.h"

namespace kwhost {

class Console {
 public:
  static Console& instance();

  void print(std::string_view line);
  std::vector<std::string> lines() const;
  void clear();
  // Echo every line to f (null: no echo); the 0x01 prefix is not echoed.
  void setEcho(FILE* f);

  // Command line handed to modules (get_command_line_args, message 1002).
  void setArguments(std::vector<std::string> args);
  std::vector<std::string> arguments() const;
  // Fills out with the arguments; the array and texts stay valid until the
  // next call or setArguments.
  bool commandLine(KwCommandLineArgs* out);

  void eventAdd(int32_t flags);
  int64_t events() const;

 private:
  Console() = default;
  struct State;
  State& state() const;
};

}  // namespace kwhost

#endif
