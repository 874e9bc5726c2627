// Stopping on SIGINT (Ctrl-C) and SIGTERM (a kill, a render farm's cancel)
// without leaving anything behind: the handler removes every temporary file
// still registered, ends every child process still registered, prints one
// line on standard error ("kestrelwood: stopped by SIGINT; " and the note the
// program keeps up to date: what was and was not written), and exits with
// 128 + the signal's number (130, 143). Outputs already complete stay.
//
// The handler does only what is safe in a signal handler (unlink, kill,
// waitpid, write, _exit), on state kept in fixed slots; the calls below that
// change that state hold the two signals back while they do.
#ifndef KWHOST_CORE_INTERRUPT_H
#define KWHOST_CORE_INTERRUPT_H

#include <string>

namespace kwhost {

inline constexpr int kExitInterrupted = 130;  // SIGINT
inline constexpr int kExitTerminated = 143;   // SIGTERM

// Installs the handlers (once per program; later calls do nothing). Until
// then the registrations below are kept but a signal ends the program as
// the system's default does.
void installStopHandlers();

// A temporary file that must go when the program is stopped, registered
// for its lifetime. Slots are few (the atomic writer holds one at a time per
// output); a file that finds none is simply not removed on a stop.
class StopRemovesFile {
 public:
  explicit StopRemovesFile(const std::string& path);
  ~StopRemovesFile();
  StopRemovesFile(const StopRemovesFile&) = delete;
  StopRemovesFile& operator=(const StopRemovesFile&) = delete;
  // Forget the file (it was renamed into place or removed).
  void release();

 private:
  int slot_ = -1;
};

// Signals held back for the guard's lifetime (a rename and its release must
// happen together: a stop between them would remove the finished output).
class HoldStops {
 public:
  HoldStops();
  ~HoldStops();
  HoldStops(const HoldStops&) = delete;
  HoldStops& operator=(const HoldStops&) = delete;
};

// A child process that a stop ends (SIGKILL) and waits for.
void registerChild(long pid);
void unregisterChild(long pid);

// What the stop line says after "stopped by SIGNAL; " (cut at 4,000 bytes).
void setStopNote(const std::string& note);

}  // namespace kwhost

#endif
