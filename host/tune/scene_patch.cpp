#include "tune/scene_patch.h"

#include <filesystem>

namespace kwhost::tune {

namespace {

namespace fs = std::filesystem;

// Every object of the file in evaluation order (depth first, pre-order).
void objectsInOrder(scene::Json& list, std::vector<scene::Json*>* out) {
  if (!list.is_array()) return;
  for (scene::Json& o : list) {
    if (!o.is_object()) continue;
    out->push_back(&o);
    if (auto c = o.find("children"); c != o.end()) objectsInOrder(*c, out);
  }
}

std::string rebased(const std::string& path, const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const fs::path p(path);
  if (p.is_absolute()) return path;
  const fs::path file = fs::weakly_canonical(fs::absolute(from / p, ec), ec);
  const fs::path dir = fs::weakly_canonical(fs::absolute(to, ec), ec);
  const fs::path rel = file.lexically_relative(dir);
  return rel.empty() ? file.generic_string() : rel.generic_string();
}

}  // namespace

Result<scene::Json> patchedScene(const scene::SceneSource& source, int tag, const std::vector<Varied>& varied,
                                 const std::vector<float>& values, const std::string& targetDir) {
  scene::Json root = source.root;
  std::vector<scene::Json*> objects;
  if (auto list = root.find("objects"); list != root.end()) objectsInOrder(*list, &objects);
  int seen = 0;
  scene::Json* found = nullptr;
  for (scene::Json* o : objects) {
    if (auto tags = o->find("tags"); tags != o->end() && tags->is_array())
      for (scene::Json& t : *tags) {
        if (seen++ == tag) found = &t;
      }
    // Geometry files stay the same files from the new folder.
    for (const char* key : {"obj", "gltf"})
      if (auto f = o->find(key); f != o->end() && f->is_string())
        *f = rebased(f->get<std::string>(), source.baseDir, targetDir.empty() ? "." : targetDir);
  }
  if (!found) return fail("the scene has no tag " + std::to_string(tag));
  scene::Json& params = (*found)["params"];
  if (!params.is_object()) params = scene::Json::object();
  for (size_t i = 0; i < varied.size(); ++i) {
    // The parameter may be given by name or by its decimal id; one entry stays.
    params.erase(std::to_string(varied[i].id));
    params[varied[i].name] = scene::realJson(values[i]);
  }
  return root;
}

}  // namespace kwhost::tune
