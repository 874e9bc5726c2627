#include "export/run_record_check.h"

#include <cmath>

#include "export/view_geometry.h"

namespace kwhost {

Result<void> checkRunRecord(const RunRecord& run) {
  if (run.fps < 1) {
    return fail("frame rate " + std::to_string(run.fps) + " is not at least 1");
  }
  for (size_t f = 0; f < run.frames.size(); ++f) {
    const FrameRecord& fr = run.frames[f];
    if (f > 0 && fr.frame <= run.frames[f - 1].frame) {
      return fail("frame " + std::to_string(fr.frame) + " follows frame " + std::to_string(run.frames[f - 1].frame) +
               ": frames must increase");
    }
    if (fr.agents.size() != run.agents.size()) {
      return fail("frame " + std::to_string(fr.frame) + ": " + std::to_string(fr.agents.size()) + " agent states for " +
               std::to_string(run.agents.size()) + " agents");
    }
    for (size_t i = 0; i < fr.agents.size(); ++i) {
      if (!view::finite(fr.agents[i].global)) {
        return fail("frame " + std::to_string(fr.frame) + ": agent '" + run.agents[i].name +
                 "' has a matrix that is not a finite number");
      }
    }
  }
  for (const RecordedTrack& t : run.tracks) {
    if (t.global.size() != run.frames.size()) {
      return fail("object '" + t.name + "': " + std::to_string(t.global.size()) + " matrices for " +
               std::to_string(run.frames.size()) + " frames");
    }
    for (size_t f = 0; f < t.global.size(); ++f) {
      if (!view::finite(t.global[f])) {
        return fail("frame " + std::to_string(run.frames[f].frame) + ": object '" + t.name +
                 "' has a matrix that is not a finite number");
      }
    }
  }
  for (const RecordedCircle& c : run.obstacles) {
    if (!view::finite(c.global) || !std::isfinite(c.radius)) {
      return fail("obstacle '" + c.name + "': matrix or radius is not a finite number");
    }
  }
  return {};
}

}  // namespace kwhost
