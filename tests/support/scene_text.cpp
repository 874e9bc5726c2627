#include "scene_text.h"

#include "text_files.h"

namespace kwtest {

namespace {
template <class T>
std::string position(T x, T z) {
  return cat({"[", std::to_string(x), ", 0, ", std::to_string(z), "]"});
}
}  // namespace

std::string flockSceneText(const FlockScene& s) {
  std::string rocks, agents;
  for (const Rock& r : s.rocks)
    rocks += cat({rocks.empty() ? "" : ", ", R"({"name": ")", r.name, R"(", "type": "circle", "radius": )",
                  std::to_string(r.radius), R"(, "position": )", position(r.x, r.z), "}"});
  for (size_t i = 0; i < s.agents.size(); ++i)
    agents += cat({i ? ", " : "", R"({"name": ")", s.agentPrefix, std::to_string(i), R"(", "position": )",
                   position(s.agents[i][0], s.agents[i][1]), "}"});
  return sceneFileText(cat({R"(
    {"name": "Goal", "position": )", position(s.goalX, s.goalZ), R"(},
    {"name": "Rocks", "children": [)", rocks, R"(]},
    {"name": "Flock", "children": [)", agents, R"(]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Flock",
      "TARGET": "Goal", "OBSTACLES_GROUP": "Rocks")", s.params, "}}]}"}),
                       s.maxFrame);
}

std::string watchedCrowdText() { return smallCrowdText(R"(, "SHOW_VISION": true)"); }

std::string chainText(int levels, const std::string& bottom) {
  std::string s;
  for (int i = 0; i < levels; ++i) s.append(R"({"name": "n)").append(std::to_string(i)).append(R"(", "position": [1, 0, 0], "children": [)");
  s += bottom;
  for (int i = 0; i < levels; ++i) s += "]}";
  return s;
}

std::string chainPath(int levels) {
  std::string p = "objects[0]";
  for (int i = 0; i < levels; ++i) p += ".children[0]";
  return p;
}

std::string siblingsText(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s.append(R"({"name": "o)").append(std::to_string(i)).append(R"("}, )");
  return s;
}

}  // namespace kwtest
