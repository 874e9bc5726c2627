// Windows: the C runtime runs a SIGINT or SIGTERM handler on a thread of its
// own; the handler removes the registered temporary files and exits. The
// program starts no child processes there (the tuner runs its trials in
// process), so there are none to end.
#include "core/interrupt.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/stop_slots.h"

namespace kwhost {

namespace {

using stop_slots::note;
using stop_slots::noteLength;
using stop_slots::tempFiles;

bool installed = false;

void onStop(int sig) {
  for (auto& slot : tempFiles)
    if (char* p = slot.load()) std::remove(p);
  const char* head = sig == SIGINT ? "kestrelwood: stopped by SIGINT" : "kestrelwood: stopped by SIGTERM";
  std::fputs(head, stderr);
  if (const size_t n = noteLength.load(); n > 0) {
    std::fputs("; ", stderr);
    std::fwrite(note, 1, n, stderr);
  }
  std::fputs("\n", stderr);
  std::fflush(stderr);
  std::_Exit(128 + sig);
}

}  // namespace

void installStopHandlers() {
  if (installed) return;
  installed = true;
  std::signal(SIGINT, onStop);
  std::signal(SIGTERM, onStop);
}

HoldStops::HoldStops() {}
HoldStops::~HoldStops() {}

void registerChild(long) {}
void unregisterChild(long) {}

}  // namespace kwhost
