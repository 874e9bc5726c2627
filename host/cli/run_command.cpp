#include "cli/run_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/console.h"
#include "export/crowd_report.h"
#include "export/csv_writer.h"
#include "export/drawing_writer.h"
#include "core/module_loader.h"
#include "cli/module_start.h"
#include "cli/output_plan.h"
#include "cli/progress.h"
#include "cli/stop_note.h"
#include "core/registry.h"
#include "export/report_json.h"
#include "export/report_kinds.h"
#include "core/atomic_file.h"
#include "scene/demo_scene.h"
#include "scene/scene_file.h"
#include "scene/scene_run.h"
#include "export/svg_poster.h"
#include "export/gltf_writer.h"
#include "export/viewer_page.h"

namespace kwhost::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDemoLabel = "(built-in demo)";

void error(const std::string& line) { std::fprintf(stderr, "error: %s\n", line.c_str()); }

std::string sceneName(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  for (const char* ext : {".kwscene.json", ".json"})
    if (name.size() > std::string(ext).size() && name.ends_with(ext)) return name.substr(0, name.size() - std::string(ext).size());
  return name;
}

std::string plural(size_t n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

}  // namespace

int runCommand(const RunRequest& r, int argc, char** argv) {
  const bool demo = r.scenePath.empty();
  const std::string label = demo ? kDemoLabel : r.scenePath;
  // What the program says about its work goes to standard error when
  // standard output carries an output.
  std::FILE* status = stdoutOptions(r).empty() ? stdout : stderr;
  auto say = [status](const std::string& line) { std::fprintf(status, "%s\n", line.c_str()); };
  // Ctrl-C or a kill: temporary files go, and the line says what was written.
  StopNote stopNote("the run was not finished");
  auto wrote = [status, &stopNote](const std::string& what, const std::string& path) {
    if (path == kStdout) return;
    std::fprintf(status, "wrote %-12s %s\n", what.c_str(), path.c_str());
    stopNote.written(path);
  };
  auto warning = [&r](const Warning& w) {
    if (!r.quiet) std::fprintf(stderr, "warning: %s\n", keyedText(w).c_str());
  };

  Console& console = Console::instance();
  console.setArguments(std::vector<std::string>(argv, argv + argc));
  if (r.verbose) console.setEcho(stderr);

  // The module: loaded and started before the scene, whose tag types and
  // parameter names it registers.
  auto module = startModule(r.modulePath);
  if (!module) {
    error(module.error());
    return kExitModule;
  }

  // The scene.
  const int cells = r.demoCells > 0 ? r.demoCells : scene::kDemoCells;
  Result<scene::LoadedScene> loaded =
      demo ? scene::readSceneJson(scene::demoSceneJson(cells), ".") : scene::readSceneFile(r.scenePath);
  if (!loaded) {
    error(label + ": " + loaded.error());
    return kExitBadScene;
  }
  scene::LoadedScene& sc = loaded.value();

  // Every output checked (and its folders made) before the run.
  const OutputPlan plan = planOutputs(r);
  for (const std::string& e : plan.errors) error(e);
  if (!plan.errors.empty()) return kExitOutputFailed;
  for (const Warning& w : plan.warnings) warning(w);
  for (const std::string& path : plan.files) stopNote.planned(path);
  for (const Warning& w : sc.warnings) warning({w.key, label + ": " + w.text});

  if (demo && !r.demoExport.empty()) {
    if (auto w = writeText(r.demoExport, scene::formatJson(scene::demoSceneJson(cells))); !w) {
      error(w.error());
      return kExitOutputFailed;
    }
    wrote("scene", r.demoExport);
  }

  // The run.
  scene::RunSettings settings;
  settings.frames = r.frames;
  settings.recordAll = r.record;
  settings.keepFrames = plan.needsFrames;
  settings.warn = [&](const Warning& w) { warning({w.key, label + ": " + w.text}); };
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
  stopNote.doing("the run was finished");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  char took[32];
  std::snprintf(took, sizeof took, "%.2f s", seconds);
  say("ran " + plural(size_t(rec.evaluatedFrames), "frame", "frames") + " of " + plural(rec.agents.size(), "agent", "agents") +
      " in " + took);

  // The crowd report: for --report and --fail-on, and for the marks of the
  // poster and the viewer page.
  std::optional<CrowdReport> crowdReport;
  if (!r.report.empty() || !r.failOn.empty() || !r.outDir.empty()) {
    ReportSettings rs;
    rs.minGap = r.minGap;
    rs.stuckRadius = r.stuckRadius;
    crowdReport = buildCrowdReport(rec, label, rs);
    if (!r.report.empty() || !r.failOn.empty())
      for (const TagReport& t : crowdReport->tags) std::fprintf(stderr, "report: %s\n", reportSummary(t).c_str());
  }

  // What the user asked for. Every file is written whole or not at all;
  // one failure does not stop the others.
  int result = kExitOk;
  auto report = [&](const Result<void>& w, const char* what, const std::string& path) {
    if (w) wrote(what, path);
    else error(w.error()), result = kExitOutputFailed;
  };
  if (r.csv == kStdout) {
    report(writeCsv(rec, stdout) && std::fflush(stdout) == 0 ? Result<void>() : fail("standard output: write failed"),
           "CSV", r.csv);
  } else if (!r.csv.empty()) {
    report(writeCsvFile(rec, r.csv), "CSV", r.csv);
  }
  if (r.save == kStdout) {
    auto text = scene::sceneText(*sc.doc, &sc.geometrySources, ".");
    report(text ? writeText(kStdout, *text) : Result<void>(fail("--save: " + text.error())), "scene", r.save);
  } else if (!r.save.empty()) {
    report(scene::writeSceneFile(*sc.doc, r.save, &sc.geometrySources), "scene", r.save);
  }
  if (!r.report.empty())
    report(writeText(r.report, reportJson(*crowdReport, rec).dump(2) + "\n"), "report", r.report);
  if (r.drawing == kStdout) {
    report(writeDrawing(rec, stdout) && std::fflush(stdout) == 0 ? Result<void>() : fail("standard output: write failed"),
           "drawing", r.drawing);
  } else if (!r.drawing.empty()) {
    report(writeDrawingFile(rec, r.drawing), "drawing", r.drawing);
  }
  if (!r.outDir.empty()) {
    const fs::path dir(r.outDir);
    const std::string csv = (dir / "agents.csv").string(), svg = (dir / "poster.svg").string();
    report(writeCsvFile(rec, csv), "CSV", csv);
    report(writeSvgPoster(rec, svg, &*crowdReport), "poster", svg);
    const std::string glb = (dir / "run.glb").string();
    const Result<void> glbWritten = writeGlb(rec, glb);
    report(glbWritten, "glTF", glb);
    if (plan.viewerPage)
      report(writeViewer(rec, dir.string(), glbWritten ? "run.glb" : "", reportJson(*crowdReport, rec)), "viewer",
             (dir / "index.html").string());
  }
  // A bake with the events the user fails on: every output is written first.
  if (result == kExitOk && crowdReport && !r.failOn.empty()) {
    std::string found;  // "251 agent-frames inside obstacles and 22 stuck agents"
    for (const std::string& option : r.failOn) {
      const ReportKind* k = reportKindByOption(option);
      size_t n = 0;
      for (const TagReport& t : crowdReport->tags) n += k ? k->count(t) : 0;
      if (n > 0) found += (found.empty() ? "" : " and ") + countPhrase(*k, n);
    }
    if (!found.empty()) {
      error("--fail-on: the crowd report found " + found);
      result = kExitEvents;
    }
  }
  return result;
}

}  // namespace kwhost::cli
