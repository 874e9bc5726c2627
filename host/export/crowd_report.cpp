#include "export/crowd_report.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "export/report_kinds.h"

namespace kwhost {

namespace {

double horizontal(const Mat12& m, double x, double z) { return std::hypot(double(m[0]) - x, double(m[2]) - z); }

double between(const Mat12& a, const Mat12& b) {
  const double dx = double(a[0]) - b[0], dy = double(a[1]) - b[1], dz = double(a[2]) - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The target's global matrix at frame index k, or null.
const Mat12* targetAt(const RunRecord& run, const RecordedCrowd& c, size_t k) {
  if (c.targetAgent >= 0 && size_t(c.targetAgent) < run.frames[k].agents.size())
    return &run.frames[k].agents[size_t(c.targetAgent)].global;
  if (c.targetTrack >= 0 && size_t(c.targetTrack) < run.tracks.size() &&
      k < run.tracks[size_t(c.targetTrack)].global.size())
    return &run.tracks[size_t(c.targetTrack)].global[k];
  return nullptr;
}

void findIntrusions(const RunRecord& run, const RecordedCrowd& c, TagReport* r) {
  std::set<int> agents;
  for (size_t k = 1; k < run.frames.size(); ++k) {
    const FrameRecord& f = run.frames[k];
    for (int a : c.agents) {
      if (size_t(a) >= f.agents.size()) continue;
      bool inside = false;
      for (int o : c.obstacles) {
        const RecordedCircle& circle = run.obstacles[size_t(o)];
        const double d = horizontal(f.agents[size_t(a)].global, circle.global[0], circle.global[2]);
        if (!(d < double(circle.radius))) continue;
        const double depth = double(circle.radius) - d;
        r->intrusions.push_back({f.frame, a, o, depth});
        r->deepest = std::max(r->deepest, depth);
        inside = true;
      }
      if (inside) ++r->intrusionFrames, agents.insert(a);
    }
  }
  r->agentsIntruding = agents.size();
}

void findClosePairs(const RunRecord& run, const RecordedCrowd& c, TagReport* r) {
  for (size_t k = 1; k < run.frames.size(); ++k) {
    const FrameRecord& f = run.frames[k];
    for (size_t i = 0; i < c.agents.size(); ++i) {
      const size_t a = size_t(c.agents[i]);
      if (a >= f.agents.size()) continue;
      for (size_t j = i + 1; j < c.agents.size(); ++j) {
        const size_t b = size_t(c.agents[j]);
        if (b >= f.agents.size()) continue;
        const double d = between(f.agents[a].global, f.agents[b].global);
        if (std::isfinite(d) && (!r->closest || d < *r->closest)) r->closest = d;
        if (d < r->minGap) r->closePairs.push_back({f.frame, int(a), int(b), d});
      }
    }
  }
  r->closePairFrames = r->closePairs.size();
}

void findStuck(const RunRecord& run, const RecordedCrowd& c, TagReport* r) {
  const double reach = double(c.repulsionRadius);
  for (int a : c.agents) {
    const double step = double(run.agents[size_t(a)].speed);
    auto distance = [&](size_t k) -> std::optional<double> {
      const Mat12* t = targetAt(run, c, k);
      if (!t || size_t(a) >= run.frames[k].agents.size()) return std::nullopt;
      return horizontal(run.frames[k].agents[size_t(a)].global, (*t)[0], (*t)[2]);
    };
    // A flag and a plain int: GCC for Windows warns, wrongly, that an
    // optional<int> may be read uninitialised here.
    bool inSpell = false;
    int spellFrom = 0, spellTo = 0;
    for (size_t k = kStuckWindow; k < run.frames.size(); ++k) {
      const auto now = distance(k), before = distance(k - kStuckWindow);
      const bool stuck = now && before && *now > reach && !(*before - *now >= step);
      if (stuck) {
        if (!inSpell) spellFrom = run.frames[k].frame;
        inSpell = true;
        spellTo = run.frames[k].frame;
      } else if (inSpell) {
        r->stuck.push_back({a, spellFrom, spellTo});
        inSpell = false;
      }
    }
    if (inSpell) r->stuck.push_back({a, spellFrom, spellTo});
  }
  std::stable_sort(r->stuck.begin(), r->stuck.end(),
                   [](const StuckSpell& x, const StuckSpell& y) { return x.from < y.from; });
  std::set<int> agents;
  for (const StuckSpell& s : r->stuck) agents.insert(s.agent);
  r->stuckAgents = agents.size();
}

}  // namespace

CrowdReport buildCrowdReport(const RunRecord& run, const std::string& scene, const ReportSettings& settings) {
  CrowdReport report;
  report.scene = scene;
  if (!run.frames.empty()) report.first = run.frames.front().frame, report.last = run.frames.back().frame;
  for (const RecordedCrowd& c : run.crowds) {
    TagReport r;
    r.tag = c.tag;
    r.object = c.object;
    r.agents = c.agents.size();
    r.minGap = settings.minGap ? *settings.minGap : 0.05 * double(c.repulsionRadius);
    findIntrusions(run, c, &r);
    findClosePairs(run, c, &r);
    findStuck(run, c, &r);
    report.tags.push_back(std::move(r));
  }
  return report;
}

std::string reportSummary(const TagReport& t) {
  return "tag " + std::to_string(t.tag) + " on \"" + t.object + "\": " + summaryText(t);
}

}  // namespace kwhost
