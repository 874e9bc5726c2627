// A poster of a run seen from above (+X to the right, +Z up the page, as on
// a map): the terrain shaded by height with contour lines, the obstacles,
// every agent's path from its start to its last position, the target, and
// the overlays the tags drew at the last frame (vision probes red or white,
// repulsion circles green, alignment circles blue, each circle projected
// from its matrix), with a legend. With a crowd report, its intrusions
// (a cross per agent-frame) and stuck spells (the stretch of path, ringed at
// its start) are marked and counted in the legend.
#ifndef KWHOST_EXPORT_SVG_POSTER_H
#define KWHOST_EXPORT_SVG_POSTER_H

#include <string>

#include "export/crowd_report.h"
#include "core/result.h"
#include "export/run_record.h"

namespace kwhost {

std::string svgPoster(const RunRecord& run, const CrowdReport* report = nullptr);
// Through a temporary file renamed over path.
Result<void> writeSvgPoster(const RunRecord& run, const std::string& path, const CrowdReport* report = nullptr);

}  // namespace kwhost

#endif
