#include "step_params.h"

namespace {

BaseObject* Link(PluginTag* tag, LONG id, BaseDocument* doc) { return tag->GetData().GetObjectLink(id, doc); }
Real Value(PluginTag* tag, LONG id) { return tag->GetData().GetReal(id, 0.0f); }

}  // namespace

StepParams ReadStepParams(PluginTag* tag, BaseDocument* doc) {
  StepParams p;
  p.target = Link(tag, TARGET, doc);
  p.group = Link(tag, AGENTS_GROUP, doc);
  p.obstacles = Link(tag, OBSTACLES_GROUP, doc);
  p.terrain = Link(tag, TERRAIN, doc);
  p.visionLength = Value(tag, VISION_LENGTH);
  p.visionHalfWidth = Value(tag, VISION_HALF_WIDTH);
  p.avoidAngle = Value(tag, AVOID_ANGLE);
  p.targetWeight = Value(tag, TARGET_WEIGHT);
  p.repulsionWeight = Value(tag, REPULSION_WEIGHT);
  p.alignmentWeight = Value(tag, ALIGNMENT_WEIGHT);
  p.repulsionRadius = Value(tag, REPULSION_RADIUS);
  p.alignmentRadius = Value(tag, ALIGNMENT_RADIUS);
  p.maxPitchStep = Value(tag, MAX_PITCH_STEP);
  return p;
}
