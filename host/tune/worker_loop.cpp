#include "tune/worker_loop.h"

#include <string>

#include "tune/worker_protocol.h"

namespace kwhost::tune {

namespace {

bool readLine(std::FILE* in, std::string* line) {
  line->clear();
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (c == '\n') return true;
    line->push_back(char(c));
  }
  return !line->empty();
}

void send(std::FILE* out, const std::string& text) {
  std::fputs(text.c_str(), out);
  std::fflush(out);
}

}  // namespace

int serveTrials(const TrialSetup& setup, std::FILE* in, std::FILE* out) {
  auto runner = TrialRunner::open(setup);
  if (!runner) {
    send(out, "error " + runner.error() + "\n");
    return 1;
  }
  send(out, "ready\n");
  for (std::string line; readLine(in, &line);) {
    const auto trial = parseTrialLine(line, setup.ids.size());
    if (!trial) {
      send(out, "error unreadable request: " + line + "\n");
      return 1;
    }
    send(out, replyLine(trial->first, runner->run(trial->second)));
  }
  return 0;
}

}  // namespace kwhost::tune
