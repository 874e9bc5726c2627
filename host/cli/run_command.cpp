#include "run_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "console.h"
#include "csv_writer.h"
#include "module_loader.h"
#include "progress.h"
#include "registry.h"
#include "scene/atomic_file.h"
#include "scene/demo_scene.h"
#include "scene/scene_file.h"
#include "scene/scene_run.h"
#include "svg_poster.h"
#ifdef KW_HAVE_EXPORT_VIEW
#include "gltf_writer.h"
#include "viewer_page.h"
#endif

namespace kwhost::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDemoLabel = "(built-in demo)";

void error(const std::string& line) { std::fprintf(stderr, "error: %s\n", line.c_str()); }
void warning(const std::string& line) { std::fprintf(stderr, "warning: %s\n", line.c_str()); }
void wrote(const std::string& what, const std::string& path) { std::printf("wrote %-12s %s\n", what.c_str(), path.c_str()); }

std::string sceneName(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  for (const char* ext : {".kwscene.json", ".json"})
    if (name.size() > std::string(ext).size() && name.ends_with(ext)) return name.substr(0, name.size() - std::string(ext).size());
  return name;
}

// Before any long work: every output can be written.
bool outputsWritable(const RunRequest& r) {
  bool ok = true;
  for (const std::string* p : {&r.csv, &r.save, &r.demoExport}) {
    if (p->empty()) continue;
    if (auto w = checkWritable(*p); !w) error(w.error()), ok = false;
  }
  if (!r.outDir.empty()) {
    std::error_code ec;
    if (fs::exists(r.outDir, ec) && !fs::is_directory(r.outDir, ec)) {
      error(r.outDir + ": exists and is no folder");
      ok = false;
    } else if (!fs::exists(r.outDir, ec)) {
      fs::create_directories(r.outDir, ec);
      if (ec) error(r.outDir + ": cannot create the folder: " + ec.message()), ok = false;
    }
  }
  return ok;
}

}  // namespace

int runCommand(const RunRequest& r, int argc, char** argv) {
  const bool demo = r.scenePath.empty();
  const std::string label = demo ? kDemoLabel : r.scenePath;

  Console& console = Console::instance();
  console.setArguments(std::vector<std::string>(argv, argv + argc));
  if (r.verbose) console.setEcho(stderr);

  if (!outputsWritable(r)) return kExitOutputFailed;

  // The module: loaded and started before the scene, whose tag types and
  // parameter names it registers.
  auto module = Module::load(r.modulePath);
  if (!module) {
    error(module.error());
    return kExitModule;
  }
  if (registeredTagTypes().empty()) {
    error(r.modulePath + ": the module started but registered no tag type" +
          (lastRegistrationError().empty() ? "" : " (" + lastRegistrationError() + ")"));
    return kExitModule;
  }

  // The scene.
  Result<scene::LoadedScene> loaded = demo ? scene::readSceneJson(scene::demoSceneJson(r.demoCells > 0 ? r.demoCells : scene::kDemoCells), ".")
                                           : scene::readSceneFile(r.scenePath);
  if (!loaded) {
    error(label + ": " + loaded.error());
    return kExitBadScene;
  }
  scene::LoadedScene& sc = loaded.value();
  for (const std::string& w : sc.warnings) warning(label + ": " + w);
  for (const std::string& w : scene::agentCountWarnings(*sc.doc)) warning(label + ": " + w);

  if (demo && !r.demoExport.empty()) {
    auto text = scene::formatJson(scene::demoSceneJson(r.demoCells > 0 ? r.demoCells : scene::kDemoCells));
    if (auto w = writeFileAtomically(r.demoExport, text); !w) {
      error(w.error());
      return kExitOutputFailed;
    }
    wrote("scene", r.demoExport);
  }

  // The run.
  scene::RunSettings settings;
  settings.frames = r.frames;
  settings.recordAll = r.record;
  const auto t0 = std::chrono::steady_clock::now();
  ProgressBar bar;
  auto ran = scene::runScene(sc, settings, demo ? "Kestrelwood demo" : sceneName(r.scenePath),
                             [&bar](int64_t done, int64_t total) { bar.update(done, total); });
  bar.finish();
  if (!ran) {
    error("--frames: " + ran.error());
    return kExitBadCommandLine;
  }
  const RunRecord& rec = ran.value();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("ran %zu frames of %zu agents in %.2f s\n", rec.frames.size(), rec.agents.size(), seconds);

  // What the user asked for. Every file is written whole or not at all;
  // one failure does not stop the others.
  int status = kExitOk;
  auto report = [&status](const Result<void>& w, const char* what, const std::string& path) {
    if (w) wrote(what, path);
    else error(w.error()), status = kExitOutputFailed;
  };
  if (!r.csv.empty()) report(writeCsvFile(rec, r.csv), "CSV", r.csv);
  if (!r.save.empty()) report(scene::writeSceneFile(*sc.doc, r.save, &sc.objSources), "scene", r.save);
  if (!r.outDir.empty()) {
    const fs::path dir(r.outDir);
    const std::string csv = (dir / "agents.csv").string(), svg = (dir / "poster.svg").string();
    report(writeCsvFile(rec, csv), "CSV", csv);
    report(writeSvgPoster(rec, svg), "poster", svg);
#ifdef KW_HAVE_EXPORT_VIEW
    const std::string glb = (dir / "run.glb").string();
    std::string why;
    bool glbOk = writeGlb(rec, glb, &why);
    report(glbOk ? Result<void>() : Result<void>(fail(why)), "glTF", glb);
    why.clear();
    report(writeViewer(rec, dir.string(), glbOk ? "run.glb" : "", &why) ? Result<void>() : Result<void>(fail(why)),
           "viewer", (dir / "index.html").string());
#else
    warning("this build has no glTF and viewer writers; wrote the CSV and the poster only");
#endif
  }
  return status;
}

}  // namespace kwhost::cli
