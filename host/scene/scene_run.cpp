#include "scene/scene_run.h"

#include <algorithm>

#include "core/evaluate.h"
#include "export/run_recorder.h"
#include "scene/crowd_warnings.h"
#include "core/tag.h"

namespace kwhost::scene {

Result<RunRecord> runScene(LoadedScene& scene, const RunSettings& settings, const std::string& sceneName,
                           const ProgressFn& progress) {
  Document& doc = *scene.doc;
  const int64_t n = settings.frames ? *settings.frames : int64_t(doc.maxFrame()) - doc.minFrame();
  if (n < 0) return fail("the number of frames must not be negative");
  if (int64_t(doc.minFrame()) + n > INT32_MAX)
    return fail("the last frame " + std::to_string(int64_t(doc.minFrame()) + n) + " does not fit 32 bits");

  // RECORD_START: the tags that ask for it in the file, or all with --record; once each.
  const std::vector<Tag*> tags = doc.tagsInOrder();  // once: a scene may hold millions of objects
  const std::vector<Tag*>& presses = settings.recordAll ? tags : scene.recordStart;
  for (Tag* t : presses) pressButton(*t, kRecordStartButton);
  if (settings.warn)
    for (const Warning& w : crowdWarnings(doc)) settings.warn(w);

  RunRecorder recorder;
  recorder.begin(doc, sceneName);
  RecordingViewport viewport;
  const int64_t total = n + 1;
  for (int64_t k = 0; k < total; ++k) {
    const int32_t frame = int32_t(doc.minFrame() + k);
    evaluateFrame(doc, frame, tags);
    if (settings.keepFrames) {
      viewport.clear();  // keep one pass: the record holds what was drawn
      drawFrame(doc, viewport, tags);
      recorder.addFrame(frame, viewport.passes().empty() ? nullptr : &viewport.passes().back());
    }
    if (progress) progress(k + 1, total);
  }
  recorder.record().evaluatedFrames = total;
  return std::move(recorder.record());
}

}  // namespace kwhost::scene
