#include "tune/trial_runner.h"

#include "core/tag.h"
#include "scene/scene_run.h"

namespace kwhost::tune {

Result<TrialRunner> TrialRunner::open(const TrialSetup& setup) {
  auto loaded = scene::readSceneFile(setup.scenePath);
  if (!loaded) return fail(setup.scenePath + ": " + loaded.error());
  return TrialRunner(setup, std::move(loaded.value()));
}

TrialRunner::TrialRunner(TrialSetup setup, scene::LoadedScene scene) : setup_(std::move(setup)), scene_(std::move(scene)) {
  for (Object* o : scene_.doc->objectsPreOrder()) {
    placed_.push_back({o, o->position(), o->rotation(), o->scale()});
    for (const auto& t : o->tags()) held_.push_back({t.get(), t->data().entries});
  }
}

Result<void> TrialRunner::restore() {
  for (const Placed& p : placed_) p.object->setPSR(p.position, p.rotation, p.scale);
  for (Held& h : held_) {
    h.tag->data().entries = h.entries;
    if (auto ok = h.tag->renewInstance(); !ok) return ok;
  }
  return {};
}

Result<TrialMeasure> TrialRunner::run(const std::vector<float>& values) {
  if (values.size() != setup_.ids.size()) return fail("the trial has " + std::to_string(values.size()) + " values");
  if (used_)
    if (auto ok = restore(); !ok) return fail(ok.error());
  used_ = true;
  const std::vector<Tag*> tags = scene_.doc->tagsInOrder();
  if (setup_.tag < 0 || size_t(setup_.tag) >= tags.size()) return fail("the scene has no tag " + std::to_string(setup_.tag));
  for (size_t i = 0; i < values.size(); ++i) tags[size_t(setup_.tag)]->data().setReal(setup_.ids[i], values[i]);

  scene::RunSettings settings;
  settings.frames = setup_.frames;
  settings.keepFrames = true;
  settings.keepDrawing = false;  // the measure reads positions only
  auto ran = scene::runScene(scene_, settings, "tune");
  if (!ran) return fail(ran.error());
  std::string why;
  const auto m = measureTrial(ran.value(), setup_.tag, setup_.thresholds, &why);
  if (!m) return fail(why);
  return *m;
}

}  // namespace kwhost::tune
