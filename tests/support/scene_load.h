// Scene text read through the host's scene reader, the module started.
#ifndef KW_TESTS_SUPPORT_SCENE_LOAD_H
#define KW_TESTS_SUPPORT_SCENE_LOAD_H

#include <string>

#include "scene/scene_file.h"

namespace kwtest {

// The reader's error for text, or "" when it loads.
std::string loadError(const std::string& text, const std::string& baseDir = ".");
// The loaded scene; an empty one, and a test failure saying why, when it does not load.
kwhost::scene::LoadedScene loadOk(const std::string& text, const std::string& baseDir = ".");

}  // namespace kwtest

#endif
