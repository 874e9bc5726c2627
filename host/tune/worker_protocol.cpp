#include "tune/worker_protocol.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace kwhost::tune {

namespace {

std::string hex(double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%a", v);
  return buf;
}

bool readDouble(const std::string& text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0';
}

bool readInt(const std::string& text, long long* out) {
  char* end = nullptr;
  *out = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && end && *end == '\0';
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

}  // namespace

std::vector<std::string> workerArguments(const TrialSetup& s) {
  std::string ids;
  for (int32_t id : s.ids) ids.append(ids.empty() ? "" : ",").append(std::to_string(id));
  return {s.scenePath, std::to_string(s.tag), ids, s.frames ? std::to_string(*s.frames) : "-",
          hex(s.thresholds.minGap), hex(s.thresholds.stuckRadius)};
}

Result<TrialSetup> parseWorkerArguments(const std::vector<std::string>& a) {
  if (a.size() != 6) return fail("expected SCENE TAG IDS FRAMES MINGAP STUCKRADIUS");
  TrialSetup s;
  s.scenePath = a[0];
  long long n = 0;
  if (!readInt(a[1], &n)) return fail("bad tag " + a[1]);
  s.tag = int(n);
  std::stringstream ids(a[2]);
  for (std::string id; std::getline(ids, id, ',');) {
    if (!readInt(id, &n)) return fail("bad parameter id " + id);
    s.ids.push_back(int32_t(n));
  }
  if (a[3] != "-") {
    if (!readInt(a[3], &n)) return fail("bad frames " + a[3]);
    s.frames = n;
  }
  if (!readDouble(a[4], &s.thresholds.minGap) || !readDouble(a[5], &s.thresholds.stuckRadius))
    return fail("bad thresholds");
  return s;
}

std::string trialLine(int trial, const std::vector<float>& values) {
  std::string line = "trial " + std::to_string(trial);
  for (float v : values) line.append(" ").append(hex(double(v)));
  return line.append("\n");
}

std::optional<std::pair<int, std::vector<float>>> parseTrialLine(const std::string& line, size_t count) {
  const auto w = words(line);
  if (w.size() != count + 2 || w[0] != "trial") return std::nullopt;
  long long k = 0;
  if (!readInt(w[1], &k)) return std::nullopt;
  std::vector<float> values;
  for (size_t i = 2; i < w.size(); ++i) {
    double v = 0;
    if (!readDouble(w[i], &v)) return std::nullopt;
    values.push_back(float(v));
  }
  return std::make_pair(int(k), values);
}

std::string replyLine(int trial, const Result<TrialMeasure>& r) {
  if (!r) {
    std::string why = r.error();
    for (char& c : why)
      if (c == '\n' || c == '\r') c = ' ';
    return std::string("failed ").append(std::to_string(trial)).append(" ").append(why).append("\n");
  }
  const TrialMeasure& m = r.value();
  std::string line = "ok " + std::to_string(trial);
  for (int64_t count : {m.intrusions, m.closePairs, m.stuck}) line.append(" ").append(std::to_string(count));
  return line.append(" ").append(hex(m.endDistance)).append(" ").append(hex(m.startDistance)).append("\n");
}

std::optional<TrialReply> parseReplyLine(const std::string& line) {
  const auto w = words(line);
  if (w.size() < 2) return std::nullopt;
  long long k = 0;
  if (!readInt(w[1], &k)) return std::nullopt;
  TrialReply r;
  r.trial = int(k);
  if (w[0] == "failed") {
    const size_t at = line.find(' ', line.find(' ') + 1);
    r.why = at == std::string::npos ? "failed" : line.substr(at + 1);
    while (!r.why.empty() && (r.why.back() == '\n' || r.why.back() == '\r')) r.why.pop_back();
    return r;
  }
  if (w[0] != "ok" || w.size() != 7) return std::nullopt;
  TrialMeasure m;
  long long a = 0, b = 0, c = 0;
  if (!readInt(w[2], &a) || !readInt(w[3], &b) || !readInt(w[4], &c) || !readDouble(w[5], &m.endDistance) ||
      !readDouble(w[6], &m.startDistance))
    return std::nullopt;
  m.intrusions = a, m.closePairs = b, m.stuck = c;
  r.measure = m;
  return r;
}

}  // namespace kwhost::tune
