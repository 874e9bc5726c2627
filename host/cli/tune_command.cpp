#include "cli/tune_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/module_path.h"
#include "cli/module_start.h"
#include "cli/output_plan.h"
#include "cli/run_command.h"
#include "cli/stop_note.h"
#include "core/atomic_file.h"
#include "core/console.h"
#include "core/crowd_links.h"
#include "core/module_loader.h"
#include "core/registry.h"
#include "core/tag.h"
#include "core/warning.h"
#include "export/report_json.h"
#include "scene/scene_file.h"
#include "scene/scene_run.h"
#include "tune/scene_patch.h"
#include "tune/trial_runner.h"
#include "tune/tuner.h"
#include "tune/worker_loop.h"
#include "tune/worker_protocol.h"

namespace kwhost::cli {

namespace {

namespace fs = std::filesystem;
using namespace kwhost::tune;

void error(const std::string& line) { std::fprintf(stderr, "error: %s\n", line.c_str()); }

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// What the tag needs before a tune can change anything; "" when it has it.
std::string unusable(const CrowdLinks& c, const scene::LoadedScene& sc) {
  const bool pressed = std::find(sc.recordStart.begin(), sc.recordStart.end(), c.tag) != sc.recordStart.end();
  if (!c.agentsGroup || !c.agentsGroup->firstChild()) return "has no agents";
  if (!c.target) return "has no target";
  if (!c.startRecorded && !pressed) return "has no recorded start (\"recordStart\": true, or run --record --save first)";
  return "";
}

// The progress line on a terminal: trials done and the best so far.
class TuneProgressLine {
 public:
  TuneProgressLine() : tty_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
  ~TuneProgressLine() { finish(); }
  void update(int done, int total, const TrialRow* best, const TrialRow* given) {
    if (!tty_) return;
    const auto now = Clock::now();
    if (shown_ && done < total && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now, shown_ = true;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string text = "  trial " + std::to_string(done) + " of " + std::to_string(total);
    if (best && given && best->measure && given->measure)
      text += ", best cost " + std::to_string(best->measure->cost()) + " (given " +
              std::to_string(given->measure->cost()) + ")";
    std::fprintf(stderr, "\r%s  %.1f s\033[K", text.c_str(), elapsed);
    std::fflush(stderr);
  }
  void finish() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool tty_, shown_ = false;
  Clock::time_point start_, last_;
};

// Given and best, figure by figure, on standard error.
void printComparison(const std::vector<Varied>& varied, const TrialRow& given, const TrialRow& best) {
  size_t width = 11;
  for (const Varied& v : varied) width = std::max(width, v.name.size());
  auto line = [&](const std::string& name, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "  %-*s %12s %12s\n", int(width), name.c_str(), a.c_str(), b.c_str());
  };
  line("", "given", "best");
  for (size_t i = 0; i < varied.size(); ++i)
    line(varied[i].name, number(double(given.values[i])), number(double(best.values[i])));
  const TrialMeasure& g = *given.measure;
  const TrialMeasure& b = *best.measure;
  line("intrusions", std::to_string(g.intrusions), std::to_string(b.intrusions));
  line("closePairs", std::to_string(g.closePairs), std::to_string(b.closePairs));
  line("stuck", std::to_string(g.stuck), std::to_string(b.stuck));
  line("cost", std::to_string(g.cost()), std::to_string(b.cost()));
  line("endDistance", number(g.endDistance), number(b.endDistance));
}

}  // namespace

int tuneCommand(const TuneRequest& r, int argc, char** argv) {
  const bool toStdout = r.save == kStdout || r.table == kStdout || r.report == kStdout;
  std::FILE* status = toStdout ? stderr : stdout;
  StopNote stopNote("the tune was not finished");
  Console& console = Console::instance();
  console.setArguments(std::vector<std::string>(argv, argv + argc));
  if (r.verbose) console.setEcho(stderr);

  auto module = startModule(r.modulePath);
  if (!module) {
    error(module.error());
    return kExitModule;
  }

  // The scene, read as every trial will read it.
  auto source = scene::readSceneSource(r.scenePath);
  if (!source) {
    error(r.scenePath + ": " + source.error());
    return kExitBadScene;
  }
  auto loaded = scene::readSceneJson(source->root, source->baseDir);
  if (!loaded) {
    error(r.scenePath + ": " + loaded.error());
    return kExitBadScene;
  }
  scene::LoadedScene& sc = loaded.value();
  if (!r.quiet)
    for (const Warning& w : sc.warnings)
      std::fprintf(stderr, "warning: %s\n", keyedText({w.key, r.scenePath + ": " + w.text}).c_str());

  // The tag.
  const std::vector<CrowdLinks> crowds = crowdTags(*sc.doc);
  if (crowds.empty()) {
    error(r.scenePath + ": the scene has no crowd tag; nothing to tune");
    return kExitBadScene;
  }
  const CrowdLinks* crowd = &crowds.front();
  if (r.tag) {
    crowd = nullptr;
    std::string known;
    for (const CrowdLinks& c : crowds) {
      if (c.tagIndex == *r.tag) crowd = &c;
      known += (known.empty() ? "" : ", ") + std::to_string(c.tagIndex);
    }
    if (!crowd) {
      error("--tag " + std::to_string(*r.tag) + ": the scene's crowd tags are " + known +
            " (numbered as the CSV's tag column)");
      return kExitBadCommandLine;
    }
  }
  const std::string tagName = "tag " + std::to_string(crowd->tagIndex) + " on \"" + crowd->tag->object()->nameRef() + "\"";
  if (const std::string why = unusable(*crowd, sc); !why.empty()) {
    error(r.scenePath + ": " + tagName + " " + why + "; its agents never move, so there is nothing to tune");
    return kExitBadScene;
  }
  const DescriptionInfo* description = descriptionOf(*crowd->tag);

  // What is varied, and over which ranges.
  const bool hasObstacles = crowd->obstaclesGroup && crowd->obstaclesGroup->firstChild();
  const std::vector<std::string> items = r.vary.empty() ? defaultVary(hasObstacles) : r.vary;
  std::vector<Varied> varied;
  for (const std::string& item : items) {
    const std::string name = item.substr(0, item.find('='));
    const DescriptionEntry* e = description->find(name);
    const float given = e ? crowd->tag->data().getReal(e->id, 0.0f) : 0.0f;
    auto v = parseVaried(item, *description, given);
    if (!v) {
      error("--vary: " + v.error());
      return kExitBadCommandLine;
    }
    for (const Varied& before : varied)
      if (before.name == v->name) {
        error("--vary: " + v->name + " is named twice");
        return kExitBadCommandLine;
      }
    varied.push_back(v.value());
  }

  // Every trial is measured with the given scene's thresholds.
  const DescriptionEntry* radius = description->find("REPULSION_RADIUS");
  const double givenRadius = radius ? double(crowd->tag->data().getReal(radius->id, 0.0f)) : 0.0;
  TrialSetup setup;
  setup.scenePath = r.scenePath;
  setup.tag = crowd->tagIndex;
  for (const Varied& v : varied) setup.ids.push_back(v.id);
  setup.frames = r.frames;
  setup.thresholds.minGap = r.minGap ? *r.minGap : 0.05 * givenRadius;
  setup.thresholds.stuckRadius = givenRadius;
  if (r.frames && int64_t(sc.doc->minFrame()) + *r.frames > INT32_MAX) {
    error("--frames: the last frame " + std::to_string(int64_t(sc.doc->minFrame()) + *r.frames) + " does not fit 32 bits");
    return kExitBadCommandLine;
  }

  // Every output checked before the work.
  bool outputsOk = true;
  for (const std::string& path : {r.save, r.table, r.report}) {
    if (path.empty() || path == kStdout) continue;
    if (auto ok = prepareOutput(path); !ok) error(ok.error()), outputsOk = false;
    else stopNote.planned(path);
  }
  if (!outputsOk) return kExitOutputFailed;

  // The workers, and the tune.
  const int jobs = r.jobs > 0 ? r.jobs : std::max(1, int(std::thread::hardware_concurrency()));
  const auto t0 = std::chrono::steady_clock::now();
  auto pool = WorkerPool::start({programFile(r.argv0), r.modulePath}, setup, std::min(jobs, r.trials));
  if (!pool) {
    error("the tune's worker processes cannot run the scene: " + pool.error());
    return kExitModule;
  }
  TuneProgressLine progressLine;
  Tuner tuner(varied, r.trials, r.seed);
  auto tuned = tuner.run(**pool, [&](int done, int total, const TrialRow* best, const TrialRow* given) {
    progressLine.update(done, total, best, given);
    stopNote.doing("the tune was not finished (" + std::to_string(done) + " of " + std::to_string(total) + " trials run)");
  });
  progressLine.finish();
  pool->reset();
  if (!tuned) {
    error(r.scenePath + ": " + tuned.error());
    return kExitOutputFailed;
  }
  const TuneResult& result = tuned.value();
  const TrialRow& given = result.rows.front();
  const TrialRow& best = result.rows[size_t(result.best)];
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  stopNote.doing("the tune was finished");

  size_t failed = 0;
  for (const TrialRow& row : result.rows) failed += row.measure ? 0 : 1;
  std::fprintf(stderr, "tune: %s, %zu trial%s of %zu parameter%s in %.1f s over %d worker%s", tagName.c_str(),
               result.rows.size(), result.rows.size() == 1 ? "" : "s", varied.size(), varied.size() == 1 ? "" : "s",
               seconds, std::min(jobs, r.trials), std::min(jobs, r.trials) == 1 ? "" : "s");
  if (failed) std::fprintf(stderr, ", %zu failed", failed);
  std::fprintf(stderr, "\n");
  if (given.measure->cost() == 0)
    std::fprintf(stderr, "tune: the given scene has cost 0: nothing to improve, its values are the best\n");
  else if (result.best == 0)
    std::fprintf(stderr, "tune: no accepted trial did better than the given scene; its values are the best\n");
  else
    std::fprintf(stderr, "tune: best trial %d, cost %lld against the given %lld\n", best.trial,
                 static_cast<long long>(best.measure->cost()), static_cast<long long>(given.measure->cost()));
  printComparison(varied, given, best);

  // The outputs: each whole or not at all; one failure does not stop the others.
  int exit = kExitOk;
  auto report = [&](const Result<void>& w, const char* what, const std::string& path) {
    if (!w) {
      error(w.error());
      exit = kExitOutputFailed;
      return;
    }
    if (path == kStdout) return;
    std::fprintf(status, "wrote %-12s %s\n", what, path.c_str());
    stopNote.written(path);
  };
  if (!r.table.empty()) report(writeText(r.table, tableCsv(varied, result)), "table", r.table);
  if (!r.save.empty()) {
    const std::string dir = r.save == kStdout ? "." : fs::path(r.save).parent_path().string();
    auto patched = patchedScene(source.value(), setup.tag, varied, best.values, dir.empty() ? "." : dir);
    report(patched ? writeText(r.save, scene::formatJson(*patched)) : Result<void>(fail("--save: " + patched.error())),
           "scene", r.save);
  }
  if (!r.report.empty()) {
    // The best run again, here, for its whole report.
    auto rerun = scene::readSceneJson(source->root, source->baseDir);
    Result<void> written = fail("--report: " + (rerun ? std::string() : rerun.error()));
    if (rerun) {
      const std::vector<Tag*> tags = rerun->doc->tagsInOrder();
      for (size_t i = 0; i < varied.size(); ++i) tags[size_t(setup.tag)]->data().setReal(varied[i].id, best.values[i]);
      scene::RunSettings settings;
      settings.frames = r.frames;
      auto ran = scene::runScene(*rerun, settings, fs::path(r.scenePath).filename().string());
      if (ran) {
        const CrowdReport crowdReport = buildCrowdReport(*ran, r.scenePath, reportSettings(setup.thresholds));
        written = writeText(r.report, reportJson(crowdReport, *ran).dump(2) + "\n");
      } else {
        written = fail("--report: " + ran.error());
      }
    }
    report(written, "report", r.report);
  }
  return exit;
}

int tuneWorkerCommand(const std::string& modulePath, const std::vector<std::string>& args) {
  // Standard output is the tuner's line; anything else printed goes to standard error.
  const int protocol = ::dup(STDOUT_FILENO);
  std::FILE* out = protocol >= 0 ? ::fdopen(protocol, "w") : nullptr;
  if (!out) return 1;
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
  auto setup = parseWorkerArguments(args);
  if (!setup) {
    std::fprintf(out, "error %s\n", setup.error().c_str());
    return 1;
  }
  auto module = Module::load(modulePath);
  if (!module) {
    std::fprintf(out, "error %s\n", module.error().c_str());
    return 1;
  }
  const int rc = serveTrials(*setup, stdin, out);
  std::fclose(out);
  return rc;
}

}  // namespace kwhost::cli
