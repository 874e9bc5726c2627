// Windows: the C runtime runs a SIGINT or SIGTERM handler on a thread of its
// own; the handler removes the registered temporary files and exits. The
// program starts no child processes there (the tuner runs its trials in
// process), so there are none to end.
#include "core/interrupt.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <io.h>

namespace kwhost {

namespace {

constexpr int kFileSlots = 32;
constexpr size_t kNoteSize = 4096;

std::atomic<char*> tempFiles[kFileSlots];
char note[kNoteSize];
std::atomic<size_t> noteLength{0};
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

StopRemovesFile::StopRemovesFile(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  for (int i = 0; i < kFileSlots; ++i) {
    char* expected = nullptr;
    if (tempFiles[i].compare_exchange_strong(expected, copy)) {
      slot_ = i;
      return;
    }
  }
  delete[] copy;
}

StopRemovesFile::~StopRemovesFile() { release(); }

void StopRemovesFile::release() {
  if (slot_ < 0) return;
  delete[] tempFiles[slot_].exchange(nullptr);
  slot_ = -1;
}

void registerChild(long) {}
void unregisterChild(long) {}

void setStopNote(const std::string& text) {
  const size_t n = std::min(text.size(), kNoteSize);
  noteLength.store(0);
  std::memcpy(note, text.data(), n);
  noteLength.store(n);
}

}  // namespace kwhost
