#include "core/interrupt.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace kwhost {

namespace {

constexpr int kFileSlots = 32;
constexpr int kChildSlots = 256;
constexpr size_t kNoteSize = 4096;

// Each slot holds a path copied on the heap (owned by its registration) or null.
std::atomic<char*> tempFiles[kFileSlots];
std::atomic<long> children[kChildSlots];
char note[kNoteSize];
std::atomic<size_t> noteLength{0};
bool installed = false;

// HoldStops nests: the outermost one restores the mask.
int holdDepth = 0;
sigset_t heldMask;

void say(const char* text, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(STDERR_FILENO, text, n);
    if (w <= 0) return;
    text += w, n -= size_t(w);
  }
}

void onStop(int sig) {
  for (auto& slot : tempFiles)
    if (char* p = slot.load()) ::unlink(p);
  for (auto& slot : children)
    if (const long pid = slot.load(); pid > 0) ::kill(pid_t(pid), SIGKILL);
  for (auto& slot : children)
    if (const long pid = slot.load(); pid > 0) ::waitpid(pid_t(pid), nullptr, 0);
  const char* head = sig == SIGINT ? "kestrelwood: stopped by SIGINT" : "kestrelwood: stopped by SIGTERM";
  say(head, std::strlen(head));
  if (const size_t n = noteLength.load(); n > 0) {
    say("; ", 2);
    say(note, n);
  }
  say("\n", 1);
  ::_exit(128 + sig);
}

}  // namespace

void installStopHandlers() {
  if (installed) return;
  installed = true;
  struct sigaction sa{};
  sa.sa_handler = onStop;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

HoldStops::HoldStops() {
  if (holdDepth++ > 0) return;
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGINT);
  sigaddset(&block, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &block, &heldMask);
}

HoldStops::~HoldStops() {
  if (--holdDepth > 0) return;
  ::sigprocmask(SIG_SETMASK, &heldMask, nullptr);
}

StopRemovesFile::StopRemovesFile(const std::string& path) {
  char* copy = new char[path.size() + 1];
  std::memcpy(copy, path.c_str(), path.size() + 1);
  HoldStops hold;
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
  char* p = nullptr;
  {
    HoldStops hold;
    p = tempFiles[slot_].exchange(nullptr);
  }
  delete[] p;
  slot_ = -1;
}

void registerChild(long pid) {
  HoldStops hold;
  for (auto& slot : children) {
    long expected = 0;
    if (slot.compare_exchange_strong(expected, pid)) return;
  }
}

void unregisterChild(long pid) {
  HoldStops hold;
  for (auto& slot : children) {
    long expected = pid;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

void setStopNote(const std::string& text) {
  HoldStops hold;
  const size_t n = std::min(text.size(), kNoteSize);
  std::memcpy(note, text.data(), n);
  noteLength.store(n);
}

}  // namespace kwhost
