#include "cli/stop_note.h"

#include <algorithm>

#include "cli/output_plan.h"
#include "core/interrupt.h"

namespace kwhost::cli {

namespace {

std::string listed(const std::vector<std::string>& paths) {
  std::string s;
  for (const std::string& p : paths) s += (s.empty() ? "" : ", ") + p;
  return s;
}

}  // namespace

StopNote::StopNote(std::string doing) : doing_(std::move(doing)) {
  installStopHandlers();
  publish();
}

void StopNote::doing(std::string what) {
  doing_ = std::move(what);
  publish();
}

void StopNote::planned(const std::string& path) {
  if (path.empty() || path == kStdout) return;
  planned_.push_back(path);
  publish();
}

void StopNote::written(const std::string& path) {
  written_.push_back(path);
  publish();
}

void StopNote::publish() {
  std::vector<std::string> missing;
  for (const std::string& p : planned_)
    if (std::find(written_.begin(), written_.end(), p) == written_.end()) missing.push_back(p);
  std::string note = doing_;
  if (!written_.empty()) note += (note.empty() ? "" : "; ") + std::string("written: ") + listed(written_);
  if (!missing.empty()) note += (note.empty() ? "" : "; ") + std::string("not written: ") + listed(missing);
  if (written_.empty() && missing.empty()) note += (note.empty() ? "" : "; ") + std::string("nothing was written");
  setStopNote(note);
}

}  // namespace kwhost::cli
