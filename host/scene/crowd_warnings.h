// Scenes that run without error but in which a crowd silently does nothing,
// or does something the user would not guess: one keyed warning each, its
// text "tag N on "OBJECT": WHAT; what to do". The caller prints them; they
// never change the outcome of a run.
#ifndef KWHOST_SCENE_CROWD_WARNINGS_H
#define KWHOST_SCENE_CROWD_WARNINGS_H

#include <vector>

#include "core/document.h"
#include "core/warning.h"

namespace kwhost::scene {

// After the presses of RECORD_START, before the first frame:
// - a tag without a recorded start, without a target, without an agent
//   group, or whose group has no children: its agents never move;
// - a group with more agents than a tag moves (100);
// - a child of a tag's obstacles group that is no circle: the tag's obstacle
//   rule takes only the group's circle children and passes over the others
//   (and never looks below them), one warning per such child;
// - two tags that both move agents: the module keeps one table of per-agent
//   records (speeds, probes) for every tag, indexed by the agent's position in
//   its group, so their flocks share the records of the indices both have.
std::vector<Warning> crowdWarnings(const Document& doc);

}  // namespace kwhost::scene

#endif
