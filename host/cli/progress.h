// A progress bar on standard error for runs that take longer than about a
// second; shown only when standard error is a terminal.
#ifndef KWHOST_CLI_PROGRESS_H
#define KWHOST_CLI_PROGRESS_H

#include <chrono>
#include <cstdint>

namespace kwhost::cli {

class ProgressBar {
 public:
  ProgressBar();
  ~ProgressBar() { finish(); }
  void update(int64_t done, int64_t total);
  // Clears the bar's line (if it was shown).
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  bool tty_;
  bool shown_ = false;
  Clock::time_point start_, lastDraw_;
};

}  // namespace kwhost::cli

#endif
