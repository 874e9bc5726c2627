#include "core/console.h"

#include <mutex>

namespace kwhost {

struct Console::State {
  std::mutex mutex;
  std::vector<std::string> lines;
  FILE* echo = nullptr;
  std::vector<std::string> args;
  std::vector<std::string> argStore;  // what the last commandLine() handed out
  std::vector<char*> argv;
  int64_t events = 0;
};

Console& Console::instance() {
  static Console c;
  return c;
}

Console::State& Console::state() const {
  static auto* s = new State();
  return *s;
}

void Console::print(std::string_view line) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.lines.emplace_back(line);
  if (s.echo) {
    std::string_view shown = line;
    if (!shown.empty() && shown.front() == '\x01') shown.remove_prefix(1);
    std::fwrite(shown.data(), 1, shown.size(), s.echo);
    std::fputc('\n', s.echo);
  }
}

std::vector<std::string> Console::lines() const {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.lines;
}

void Console::clear() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.lines.clear();
}

void Console::setEcho(FILE* f) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.echo = f;
}

void Console::setArguments(std::vector<std::string> args) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.args = std::move(args);
}

std::vector<std::string> Console::arguments() const {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.args;
}

bool Console::commandLine(KwCommandLineArgs* out) {
  if (!out) return false;
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.argStore = s.args;
  s.argv.clear();
  for (auto& a : s.argStore) s.argv.push_back(a.data());
  s.argv.push_back(nullptr);
  out->argc = static_cast<int32_t>(s.argStore.size());
  out->argv = s.argv.data();
  return true;
}

void Console::eventAdd(int32_t) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.events;
}

int64_t Console::events() const {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.events;
}

}  // namespace kwhost
