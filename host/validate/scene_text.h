// Scene-file text made in code, as a user's file would read: the file around
// a list of objects, and the smallest crowd that moves (three agents, a
// target and a tag that records their start). The fuzz recipes grow their
// scenes from these pieces, and the tests and benchmarks build theirs on them.
#ifndef KWHOST_VALIDATE_SCENE_TEXT_H
#define KWHOST_VALIDATE_SCENE_TEXT_H

#include <string>
#include <string_view>

namespace kwhost::validate {

// {"format": ..., "maxFrame": maxFrame, "objects": [objects]}
std::string sceneFileText(std::string_view objects, int maxFrame);

// Three objects of a list: "Flock" (a0 at the origin, a1 60 units along +X,
// a2 60 along -Z), "Goal" 900 along +Z, and "Crowd", whose Kestrelwood tag
// links the two and records the start; moreParams are further members of
// its "params" object, each led by ", ".
std::string smallCrowdText(std::string_view moreParams = "");

}  // namespace kwhost::validate

#endif
