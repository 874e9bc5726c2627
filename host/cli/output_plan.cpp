#include "cli/output_plan.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/atomic_file.h"
#include "export/viewer_page.h"

namespace kwhost::cli {

namespace fs = std::filesystem;

std::vector<std::string> stdoutOptions(const RunRequest& r) {
  std::vector<std::string> out;
  if (r.csv == kStdout) out.push_back("--csv");
  if (r.save == kStdout) out.push_back("--save");
  if (r.demoExport == kStdout) out.push_back("--export-scene");
  if (r.report == kStdout) out.push_back("--report");
  if (r.drawing == kStdout) out.push_back("--drawing");
  return out;
}

OutputPlan planOutputs(const RunRequest& r) {
  OutputPlan plan;
  plan.needsFrames =
      !r.csv.empty() || !r.outDir.empty() || !r.report.empty() || !r.drawing.empty() || !r.failOn.empty();
  auto check = [&plan](const std::string& path) {
    if (path.empty() || path == kStdout) return;
    if (auto ok = prepareOutput(path); !ok) plan.errors.push_back(ok.error());
    else plan.files.push_back(path);
  };
  check(r.demoExport);
  check(r.csv);
  check(r.save);
  check(r.report);
  check(r.drawing);
  if (!r.outDir.empty()) {
    const fs::path dir(r.outDir);
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
      plan.errors.push_back(r.outDir + ": is a file, not a folder");
      return plan;
    }
    const size_t before = plan.errors.size();
    check((dir / "agents.csv").string());
    // One folder problem is one message, not one per file.
    if (plan.errors.size() > before) return plan;
    check((dir / "poster.svg").string());
    check((dir / "run.glb").string());
    const std::string page = (dir / "index.html").string();
    const std::string tpl = viewerTemplatePath();
    if (!fs::is_regular_file(tpl, ec)) {
      plan.warnings.push_back({WarningKey::NoViewerTemplate,
                               page + ": not written: the viewer page template " + tpl +
                                   " is missing (the build makes it when node and npm are installed)"});
    } else {
      check(page);
      plan.viewerPage = true;
    }
  }
  return plan;
}

Result<void> writeText(const std::string& path, const std::string& text) {
  if (path != kStdout) return writeFileAtomically(path, text);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    return fail("standard output: write failed");
  return {};
}

}  // namespace kwhost::cli
