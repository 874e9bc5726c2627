#include "core/interrupt.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

#include "core/stop_slots.h"

namespace kwhost {

namespace {

using stop_slots::note;
using stop_slots::noteLength;
using stop_slots::tempFiles;

constexpr int kChildSlots = 256;

std::atomic<long> children[kChildSlots];
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

}  // namespace kwhost
