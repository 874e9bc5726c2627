// What the program says when it is stopped (SIGINT, SIGTERM): what it was
// doing, the outputs written so far and those not written. Kept up to date
// as the work goes on, for the stop handlers of core/interrupt.h.
#ifndef KWHOST_CLI_STOP_NOTE_H
#define KWHOST_CLI_STOP_NOTE_H

#include <string>
#include <vector>

namespace kwhost::cli {

class StopNote {
 public:
  // Installs the stop handlers; doing: "the run was not finished".
  explicit StopNote(std::string doing);
  void doing(std::string what);
  // An output the command means to write ("-" is not listed).
  void planned(const std::string& path);
  void written(const std::string& path);

 private:
  void publish();
  std::string doing_;
  std::vector<std::string> planned_, written_;
};

}  // namespace kwhost::cli

#endif
