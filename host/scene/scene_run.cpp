#include "scene/scene_run.h"

#include <algorithm>

#include "evaluate.h"
#include "run_recorder.h"
#include "tag.h"

namespace kwhost::scene {

namespace {
constexpr size_t kMaxAgents = 100;  // the tag's per-agent tables hold 100 entries
}

std::vector<std::string> agentCountWarnings(const Document& doc) {
  std::vector<std::string> out;
  for (const CrowdLinks& c : crowdTags(doc)) {
    if (!c.agentsGroup || c.agentsGroup->children().size() <= kMaxAgents) continue;
    out.push_back("tag " + std::to_string(c.tagIndex) + " on \"" + c.tag->object()->nameRef() + "\": the group \"" +
                  c.agentsGroup->nameRef() + "\" has " + std::to_string(c.agentsGroup->children().size()) +
                  " agents; a tag moves at most " + std::to_string(kMaxAgents) +
                  ", so the agents past the hundredth do not move");
  }
  return out;
}

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

  RunRecorder recorder;
  recorder.begin(doc, sceneName);
  RecordingViewport viewport;
  const int64_t total = n + 1;
  for (int64_t k = 0; k < total; ++k) {
    const int32_t frame = int32_t(doc.minFrame() + k);
    evaluateFrame(doc, frame, tags);
    viewport.clear();  // keep one pass: the record holds what was drawn
    drawFrame(doc, viewport, tags);
    recorder.addFrame(frame, viewport.passes().empty() ? nullptr : &viewport.passes().back());
    if (progress) progress(k + 1, total);
  }
  return std::move(recorder.record());
}

}  // namespace kwhost::scene
