// The scene a tune saves: the given file's JSON with the tuned tag's varied
// parameters set to the best values, nothing else of it changed (a
// recordStart stays a recordStart, a start table stays as stored). OBJ and
// glTF references are rewritten relative to the folder the file goes to,
// so that they still name the same files.
#ifndef KWHOST_TUNE_SCENE_PATCH_H
#define KWHOST_TUNE_SCENE_PATCH_H

#include <string>
#include <vector>

#include "scene/scene_file.h"
#include "tune/tune_params.h"

namespace kwhost::tune {

// tag: the tag's position in evaluation order (objects depth first, tags in order).
Result<scene::Json> patchedScene(const scene::SceneSource& source, int tag, const std::vector<Varied>& varied,
                                 const std::vector<float>& values, const std::string& targetDir);

}  // namespace kwhost::tune

#endif
