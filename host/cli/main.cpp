// kestrelwood: the substitute host's command line. It loads the Kestrelwood
// module, runs scenes through it and writes what the crowd did.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/module_path.h"
#include "cli/output_plan.h"
#include "cli/run_command.h"
#include "validate/validator.h"
#include "cli/option_values.h"
#include "core/warning.h"
#include "export/csv_writer.h"
#include "export/report_json.h"
#include "export/report_kinds.h"

namespace {

constexpr const char* kFooterText = R"(Outputs:
  --csv FILE     one row per agent per evaluated frame:
                 %CSV%
  --save FILE    the scene after the last frame (it reloads to the same document)
  --out DIR      DIR/index.html (open it in a browser), DIR/run.glb (any glTF viewer),
                 DIR/poster.svg (the run seen from above), DIR/agents.csv
  --report FILE  the crowd report, JSON ("format": "%REPORT_FORMAT%"), per tag over the
                 frames after the first, with a summary line per tag on standard error; the
                 viewer page and the poster mark the same events. Its kinds (--fail-on):
%KINDS%  FILE may be - for standard output (one output at a time); missing folders are created.
  Every output is checked before the run starts. Every file is written to a temporary
  file first and then renamed over the old one, so a failure never leaves half a file.

%WARNINGS%
Exit status:
  0  success
  1  an output file could not be written
  2  bad command line
  3  the scene file cannot be read or is not valid
     (one line on standard error: error: FILE: WHERE: WHAT)
  4  the module cannot be loaded or started (run, demo and validate)
  5  --fail-on: the crowd report holds an event of a kind named (every output is written)

Examples:
  kestrelwood demo --out demo
  kestrelwood run scenes/flat-ground.kwscene.json --csv agents.csv
  kestrelwood run my.kwscene.json --frames 100 --record --save my-after.kwscene.json
  kestrelwood run bake.kwscene.json --report qa.json --fail-on intrusions,stuck
  kestrelwood validate --strictness 8
)";

// "  NAME  TEXT" with NAME padded to width columns and TEXT wrapped to 92
// columns under itself.
std::string listed(const std::string& indent, const std::string& name, size_t width, const std::string& text) {
  std::string out = indent + name + std::string(name.size() < width ? width - name.size() : 1, ' ');
  const std::string under(indent.size() + std::max(width, name.size() + 1), ' ');
  size_t column = out.size();
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (column + word.size() > 92 && column > under.size()) out += "\n" + under, column = under.size();
    else if (column > under.size() && out.back() != ' ') out += ' ', ++column;
    out += word, column += word.size();
    at = end + 1;
  }
  return out + "\n";
}

void fill(std::string* text, const std::string& slot, const std::string& value) {
  text->replace(text->find(slot), slot.size(), value);
}

// The footer with the parts that other files state filled in: the CSV's
// header, the report's kinds and the warning keys.
std::string footer() {
  std::string text = kFooterText;
  fill(&text, "%CSV%", kwhost::kCsvHeader);
  fill(&text, "%REPORT_FORMAT%", kwhost::kReportFormat);
  std::string kinds;
  for (const kwhost::ReportKind& k : kwhost::reportKinds()) kinds += listed("                   ", k.option, 13, k.meaning);
  fill(&text, "%KINDS%", kinds);
  std::string keys =
      "Warnings (standard error, silenced by --quiet, never a change of exit status), one line\n"
      "each, warning: [KEY] SENTENCE; the key is stable, for programs that read the lines:\n";
  for (const kwhost::WarningKeyInfo& k : kwhost::warningKeys()) keys += listed("  ", k.name, 20, k.meaning);
  fill(&text, "%WARNINGS%", keys);
  return text;
}

// The words --fail-on takes, from the report's kinds.
std::vector<std::string> kindOptionList() {
  std::vector<std::string> out;
  for (const kwhost::ReportKind& k : kwhost::reportKinds()) out.push_back(k.option);
  return out;
}
std::string kindOptions(const char* separator) {
  std::string out;
  for (const std::string& o : kindOptionList()) out += (out.empty() ? "" : separator) + o;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    kwhost::cli::RunRequest req;
    req.argv0 = argc > 0 ? argv[0] : nullptr;
    int64_t frames = -1;
    double minGap = -1;

    CLI::App app{"kestrelwood runs crowd scenes with the Kestrelwood module and writes what the agents did.",
                 "kestrelwood"};
    app.footer(footer());
    app.require_subcommand(1);
    app.fallthrough();  // --module and -v may also follow the command
    app.add_option("--module", req.modulePath,
                   "the module to load (default: ../plugins/Kestrelwood/Kestrelwood.so beside this program)")
        ->type_name("PATH");
    app.add_flag("-v,--verbose", req.verbose, "echo the host console (the module's messages) to standard error");
    app.add_flag("-q,--quiet", req.quiet, "no warnings about scenes that will do nothing");

    CLI::App* run = app.add_subcommand("run", "load a scene file, evaluate its frames and write the outputs");
    run->add_option("SCENE", req.scenePath, "the scene file (*.kwscene.json)")->required()->type_name("FILE");
    auto addRunOptions = [&](CLI::App* cmd) {
      cmd->add_option("--frames", frames,
                      "evaluate the frames minFrame .. minFrame+N (default N: maxFrame - minFrame)")
          ->type_name("N")
          ->check(kwhost::cli::wholeNumber(0, INT64_MAX, "frames"));
      cmd->add_option("--csv", req.csv, "write the agents' states after each frame")->type_name("FILE");
      cmd->add_option("--save", req.save, "write the scene after the last frame")->type_name("FILE");
      cmd->add_option("--out", req.outDir, "write the viewer page, glb, poster and CSV into DIR")->type_name("DIR");
      cmd->add_option("--report", req.report, "write the crowd report (" + kindOptions(", ") + ") as JSON")
          ->type_name("FILE");
      cmd->add_option("--min-gap", minGap, "close-pair distance (default: 5% of each tag's REPULSION_RADIUS)")
          ->type_name("D")
          ->check(kwhost::cli::distance());
      cmd->add_option("--fail-on", req.failOn, "exit 5, after writing every output, when the report holds such an event")
          ->type_name(kindOptions(","))
          ->delimiter(',')
          ->check(kwhost::cli::oneOf(kindOptionList()));
    };
    addRunOptions(run);
    run->add_flag("--record", req.record, "press RECORD_START on every tag after loading (besides those with recordStart)");

    CLI::App* demo = app.add_subcommand(
        "demo", "run the built-in demo: 60 agents cross hilly ground round six obstacles to a target "
                "(with no output option it writes into ./kestrelwood-demo)");
    addRunOptions(demo);
    demo->add_option("--export-scene", req.demoExport, "also write the demo's scene file (to edit and run it)")
        ->type_name("FILE");
    demo->add_option("--cells", req.demoCells, "terrain cells per side (default 230: 105,800 triangles)")
        ->type_name("N")
        ->check(kwhost::cli::wholeNumber(1, 2000, "cells per side"));

    kwhost::validate::ValidatorOptions vopt;
    CLI::App* validate = app.add_subcommand(
        "validate", "run the module through a battery of checks, each printed PASS or FAIL with a reason");
    validate->add_option("--strictness", vopt.strictness, "1 (quick) to 10 (thorough), default 5")
        ->type_name("N")
        ->check(kwhost::cli::wholeNumber(1, 10, ""));
    validate->add_option("--seed", vopt.seed, "seed of the parameter fuzzing")
        ->type_name("N")
        ->check(kwhost::cli::wholeNumber(0, UINT32_MAX, ""));
    validate->add_option("--check", vopt.only, "run only these checks")->type_name("NAME");

    try {
      app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
      std::fputs(app.help().c_str(), stdout);
      return kwhost::cli::kExitOk;
    } catch (const CLI::CallForAllHelp&) {
      std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
      return kwhost::cli::kExitOk;
    } catch (const CLI::ParseError& e) {
      if (e.get_exit_code() == 0) {
        std::fputs(app.help().c_str(), stdout);
        return kwhost::cli::kExitOk;
      }
      std::fprintf(stderr, "error: %s (see kestrelwood --help)\n", e.what());
      return kwhost::cli::kExitBadCommandLine;
    }

    if (frames >= 0) req.frames = frames;
    if (minGap >= 0) req.minGap = minGap;
    if (req.modulePath.empty()) req.modulePath = kwhost::cli::defaultModule(req.argv0);
    if (validate->parsed()) {
      // The validator loads the module itself, once per check.
      vopt.modulePath = req.modulePath;
      return kwhost::validate::runValidator(vopt, std::cout, std::cerr);
    }
    if (demo->parsed()) {
      req.scenePath.clear();
      if (req.csv.empty() && req.save.empty() && req.outDir.empty() && req.demoExport.empty())
        req.outDir = "kestrelwood-demo";
    } else if (req.scenePath.empty()) {
      std::fprintf(stderr, "error: SCENE: the scene file name is empty (see kestrelwood --help)\n");
      return kwhost::cli::kExitBadCommandLine;
    }
    if (const auto piped = kwhost::cli::stdoutOptions(req); piped.size() > 1) {
      std::fprintf(stderr, "error: %s and %s both write to standard output (-); give one of them a file\n",
                   piped[0].c_str(), piped[1].c_str());
      return kwhost::cli::kExitBadCommandLine;
    }
    return kwhost::cli::runCommand(req, argc, argv);
  } catch (const std::exception& e) {
    // Nothing should get here; if something does, say so in one line.
    std::fprintf(stderr, "error: internal fault: %s\n", e.what());
    return 1;
  }
}
