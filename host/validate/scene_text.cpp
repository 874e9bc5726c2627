#include "validate/scene_text.h"

#include "scene/scene_file.h"

namespace kwhost::validate {

std::string sceneFileText(std::string_view objects, int maxFrame) {
  // Plain appends: GCC 12 warns falsely (-Wrestrict) on "..." + string.
  std::string s = R"({"format": ")";
  s.append(scene::kFormat).append(R"(", "maxFrame": )").append(std::to_string(maxFrame)).append(R"(, "objects": [)");
  s.append(objects.data(), objects.size());
  return s.append("]}");
}

std::string smallCrowdText(std::string_view moreParams) {
  std::string s = R"({"name": "Flock", "children": [{"name": "a0"}, {"name": "a1", "position": [60, 0, 0]},
                               {"name": "a2", "position": [0, 0, -60]}]},
  {"name": "Goal", "position": [0, 0, 900]},
  {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true,
    "params": {"AGENTS_GROUP": "Flock", "TARGET": "Goal")";
  s.append(moreParams.data(), moreParams.size());
  return s.append("}}]}");
}

}  // namespace kwhost::validate
