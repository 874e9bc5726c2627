// Running a loaded scene: the presses of RECORD_START, then the frames
// minFrame, minFrame + 1, ... minFrame + N, each evaluated and, when the
// run keeps its frames, drawn into the host's recording viewport and
// recorded.
#ifndef KWHOST_SCENE_SCENE_RUN_H
#define KWHOST_SCENE_SCENE_RUN_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/warning.h"
#include "export/run_record.h"
#include "scene/scene_file.h"

namespace kwhost::scene {

struct RunSettings {
  std::optional<int64_t> frames;  // N; default maxFrame - minFrame
  bool recordAll = false;         // press RECORD_START on every tag (--record)
  // Keep every frame in the record: the agents' states and what the tags
  // drew (the CSV, the report, the viewer and the poster read them). A run
  // that writes none of those leaves them out, and the drawing pass with
  // them: drawing only writes the probe corners of the tag's per-agent
  // records, which nothing but drawing reads, so the frames come out the
  // same. The record's static part and its frame count are kept either way.
  bool keepFrames = true;
  // Told, after the presses and before the first frame, each thing about the
  // crowds that the run will do silently (crowd_warnings.h).
  std::function<void(const Warning&)> warn;
};

// done frames of total evaluated.
using ProgressFn = std::function<void(int64_t done, int64_t total)>;

// Fails (nothing evaluated) when the number of frames is negative or the
// last frame would not fit 32 bits.
Result<RunRecord> runScene(LoadedScene& scene, const RunSettings& settings, const std::string& sceneName,
                           const ProgressFn& progress = {});

}  // namespace kwhost::scene

#endif
