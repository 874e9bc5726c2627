// Long runs: one crowd stepped for many frames, with periodic restores (an
// evaluation at the first frame) and RECORD_START presses, watching for
// non-finite agents, growth of the module's live blocks and drift of the
// time per frame.
#ifndef KWHOST_VALIDATE_SOAK_H
#define KWHOST_VALIDATE_SOAK_H

#include <cstdint>
#include <ostream>
#include <string>

#include "core/module_loader.h"
#include "validate/crowd_scene.h"

namespace kwhost::validate {

struct SoakOptions {
  int64_t frames = 100000;
  int64_t restoreEvery = 5000;   // evaluate the first frame every N frames (0: never)
  int64_t pressEvery = 20000;    // press RECORD_START every N frames (0: never)
  int64_t progressEvery = 0;     // a progress line every N frames (0: none)
  double driftLimit = 3.0;       // fail when the last tenth is this many times slower than the first
  CrowdLayout layout = defaultLayout();

  static CrowdLayout defaultLayout() {
    CrowdLayout l;
    l.agents = 100;
    l.obstacles = 4;
    l.terrain = true;
    l.target = KwVector{0, 0, 4000};  // the crowd reaches it and mills around it
    return l;
  }
};

struct SoakReport {
  int64_t frames = 0;        // frames evaluated
  int64_t restores = 0, presses = 0;
  int64_t firstNonFinite = -1;  // the frame at which an agent first became non-finite
  std::string nonFinite;        // which agent, and what
  int64_t liveBlocksStart = 0, liveBlocksMin = 0, liveBlocksMax = 0;  // between frames
  int64_t liveHandlesStart = 0, liveHandlesMin = 0, liveHandlesMax = 0;
  int64_t peakBytes = 0;
  double firstTenthMicros = 0, lastTenthMicros = 0;  // mean time per frame
  double seconds = 0;
  bool ok = false;
  std::string failure;  // empty when ok
};

// Runs on a started module (its own document); the report says what held.
// The crowd of options.layout, in a document of its own.
SoakReport runSoak(Module& module, const SoakOptions& options, std::ostream* progress = nullptr);
// A document made elsewhere (e.g. the demo scene); crowd.group's agents are
// watched, every tag of the document is pressed, options.layout is unused.
SoakReport runSoakOn(Module& module, Document& doc, const Crowd& crowd, const SoakOptions& options,
                     std::ostream* progress = nullptr);
void printSoakReport(const SoakReport& r, std::ostream& out);

}  // namespace kwhost::validate

#endif
