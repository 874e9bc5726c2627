// A crowd at the bottom of 20,000 nested objects moves exactly as the same
// crowd at the top level (the levels between hold identity matrices, so
// every product along the way is exact), and its scene writes and reads
// back as the same text. A host or module that walks a hierarchy with a call
// per level dies here of a stack overflow instead.
#include <string>

#include "core/evaluate.h"
#include "validate/checks.h"
#include "validate/crowd_scene.h"

#include "scene/scene_file.h"

namespace kwhost::validate {

void checkDeepScene(const ValidatorOptions& o, Probe& p) {
  constexpr int kLevels = 20000;
  auto m = loadModule(o, p);
  if (!m) return;
  {
    CrowdLayout l;
    l.agents = 12;
    l.obstacles = 2;
    l.terrain = true;
    Document flat, deep;
    auto a = buildCrowd(flat, l);
    Object* bottom = nullptr;
    for (int i = 0; i < kLevels && !p.failed(); ++i) {
      auto level = deep.createObject("Level" + std::to_string(i), kTypeNull, bottom);
      if (p.require(level.ok(), level.ok() ? "" : level.error())) bottom = level.value();
    }
    l.parent = bottom;
    auto b = buildCrowd(deep, l);
    if (!p.require(a.ok() && b.ok(), a.ok() ? (b.ok() ? "" : b.error()) : a.error()) || p.failed())
      return unloadModule(std::move(m), p);

    const int frames = 10 + 2 * o.strictness;
    for (int f = 1; f <= frames && !p.failed(); ++f) {
      evaluateFrame(flat, f);
      evaluateFrame(deep, f);
      const auto ma = agentMatrices(a.value()), mb = agentMatrices(b.value());
      for (size_t i = 0; i < ma.size() && i < mb.size(); ++i)
        if (!p.require(sameBits(ma[i], mb[i]), "frame " + std::to_string(f) + ": agent " + std::to_string(i) + " under " +
                                                   std::to_string(kLevels) + " levels moved differently from the top level"))
          break;
    }

    auto j1 = scene::sceneToJson(deep, nullptr, ".");
    if (p.require(j1.ok(), "the deep scene cannot be written: " + (j1.ok() ? std::string() : j1.error()))) {
      const std::string t1 = scene::formatJson(j1.value());
      auto again = scene::readSceneText(t1, ".");
      if (p.require(again.ok(), "the written deep scene does not read back: " + (again.ok() ? std::string() : again.error()))) {
        auto j2 = scene::sceneToJson(*again.value().doc, nullptr, ".");
        p.require(j2.ok() && scene::formatJson(j2.value()) == t1, "the deep scene reads back as another scene");
      }
    }
  }
  unloadModule(std::move(m), p);
}

}  // namespace kwhost::validate
