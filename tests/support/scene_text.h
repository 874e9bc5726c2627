// Scene-file text for the tests and benchmarks, built on the validator's
// pieces (validate/scene_text.h): one flock walking to its goal among
// rocks, the small crowd under a chain of nested objects of any depth or
// beside any number of others.
#ifndef KW_TESTS_SUPPORT_SCENE_TEXT_H
#define KW_TESTS_SUPPORT_SCENE_TEXT_H

#include <array>
#include <string>
#include <vector>

#include "validate/scene_text.h"

namespace kwtest {

using kwhost::validate::sceneFileText;
using kwhost::validate::smallCrowdText;

// A circle obstacle, in scene units on the ground plane.
struct Rock {
  std::string name;
  double x, z, radius;
};

// "Goal", "Rocks" (circles), "Flock" (agents named agentPrefix + index at
// (x, 0, z)) and "Crowd", whose tag links the three and records the start.
struct FlockScene {
  std::vector<std::array<int, 2>> agents;  // x, z
  std::string agentPrefix = "A";
  int goalX = 0, goalZ = 0;
  std::vector<Rock> rocks;
  std::string params;  // further tag parameters, each led by ", "
  int maxFrame = 20;
};
std::string flockSceneText(const FlockScene& scene);

// The small crowd with its vision probes shown, the one the deep and wide
// scenes carry.
std::string watchedCrowdText();

// levels nested objects n0, n1, ..., each one unit along +X from its
// parent, with bottom (a list of objects) inside the last.
std::string chainText(int levels, const std::string& bottom);
// The path of the object a chain of levels holds first: objects[0].children[0]...
std::string chainPath(int levels);
// count objects o0, o1, ... of a list, each followed by ", ".
std::string siblingsText(int count);

}  // namespace kwtest

#endif
