// The soak run as a program (scripts/soak): a crowd stepped for many frames
// with periodic restores and RECORD_START presses.
//   kw_soak [--module PATH] [--frames N] [--demo [--cells N]] [--agents N]
//           [--restore-every N] [--press-every N] [--progress N]
// Without --demo a generated crowd (100 agents, obstacles, terrain); with
// it the built-in demo scene on a coarser terrain. Exit 0 when nothing
// went non-finite, the module's live blocks stayed flat and the time per
// frame did not drift more than threefold.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "core/evaluate.h"
#include "module_once.h"
#include "scene/demo_scene.h"
#include "scene/scene_file.h"
#include "validate/soak.h"
#include "validate/tag_contract.h"

namespace kv = kwhost::validate;

int main(int argc, char** argv) {
  std::string module = kwtest::builtModulePath();
  kv::SoakOptions o;
  bool demo = false;
  int cells = 24;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> long long {
      if (i + 1 >= argc) {
        std::cerr << "kw_soak: " << a << " needs a value\n";
        std::exit(2);
      }
      return std::atoll(argv[++i]);
    };
    if (a == "--module" && i + 1 < argc) module = argv[++i];
    else if (a == "--frames") o.frames = next();
    else if (a == "--agents") o.layout.agents = int(next());
    else if (a == "--restore-every") o.restoreEvery = next();
    else if (a == "--press-every") o.pressEvery = next();
    else if (a == "--progress") o.progressEvery = next();
    else if (a == "--demo") demo = true;
    else if (a == "--cells") cells = int(next());
    else {
      std::cerr << "kw_soak: unknown argument " << a << "\n";
      return 2;
    }
  }
  std::string why;
  kwhost::Module* m = kwtest::moduleOnce(&why, module);
  if (!m) {
    std::cerr << "kw_soak: " << why << "\n";
    return 4;
  }
  kv::SoakReport r;
  if (demo) {
    auto scene = kwhost::scene::readSceneJson(kwhost::scene::demoSceneJson(cells), ".");
    if (!scene) {
      std::cerr << "kw_soak: the demo scene does not read: " << scene.error() << "\n";
      return 3;
    }
    kwhost::Document& doc = *scene.value().doc;
    for (kwhost::Tag* t : scene.value().recordStart) kwhost::pressButton(*t, kv::kRecordStart);
    kv::Crowd crowd;
    for (kwhost::Tag* t : doc.tagsInOrder()) {
      crowd = kv::crowdOf(doc, *t);
      if (crowd.group) break;
    }
    if (!crowd.group) {
      std::cerr << "kw_soak: the demo scene has no crowd\n";
      return 3;
    }
    std::cout << "soak: the demo scene (" << cells << " x " << cells << " terrain cells), "
              << kv::agentsOf(crowd).size() << " agents\n";
    r = kv::runSoakOn(*m, doc, crowd, o, &std::cout);
  } else {
    std::cout << "soak: a generated crowd of " << o.layout.agents << " agents\n";
    r = kv::runSoak(*m, o, &std::cout);
  }
  kv::printSoakReport(r, std::cout);
  return r.ok ? 0 : 1;
}
