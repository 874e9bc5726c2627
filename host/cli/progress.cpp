#include "cli/progress.h"

#include <cstdio>
#include <string>

#include <unistd.h>

namespace kwhost::cli {

ProgressBar::ProgressBar() : tty_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}

void ProgressBar::update(int64_t done, int64_t total) {
  if (!tty_ || total <= 0) return;
  const auto now = Clock::now();
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  if (!shown_ && elapsed < 1.0) return;  // short runs stay quiet
  if (shown_ && done < total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  shown_ = true;
  constexpr int kWidth = 30;
  const double f = double(done) / double(total);
  const int filled = int(f * kWidth);
  std::string bar(size_t(filled), '#');
  bar.append(size_t(kWidth - filled), '.');
  const double left = done > 0 ? elapsed * double(total - done) / double(done) : 0.0;
  std::fprintf(stderr, "\r  [%s] %3d%%  frame %lld of %lld  %.1f s, about %.0f s to go\033[K", bar.c_str(),
               int(f * 100), static_cast<long long>(done), static_cast<long long>(total), elapsed, left);
  std::fflush(stderr);
}

void ProgressBar::finish() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace kwhost::cli
