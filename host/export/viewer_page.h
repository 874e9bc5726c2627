// The browser viewer of a run: DIR/index.html, one self-contained page that
// opens from the file system with no server and no network. The page code
// (three.js and the viewer) comes from a template that viewer/build.mjs
// bundles; this writer fills in the run's data.
//
// Data embedding: Chromium blocks fetch() of local files from a file:// page,
// so the run travels inside the page, as <script type="application/
// octet-stream"> elements holding base64 of little-endian typed arrays (agent
// matrices and rotations per frame, quantised terrain points, int8 normals,
// uint32 triangles, the drawn lines and circles per frame with their colours)
// and one <script type="application/json"> element with names, frame
// numbers, parameters and the layout. The glb written beside it (glbName) is
// offered as a download link for other viewers; the page does not read it.
// The run's crowd report, when there is one, travels as it is in one more
// JSON element, "kw-report"; the page marks its events on the timeline.
#ifndef KWHOST_EXPORT_VIEWER_PAGE_H
#define KWHOST_EXPORT_VIEWER_PAGE_H

#include <string>

#include <nlohmann/json.hpp>

#include "core/result.h"
#include "export/run_record.h"

namespace kwhost {

// Writes DIR/index.html (creating DIR when missing; through a temporary file
// renamed over the page). glbName is the file name of the run's glb beside
// it, for the page's download link; empty for none. report is the run's
// crowd report (the kestrelwood-report/1 object), or null when the run made
// none: the page then says that nothing was checked. An error for an
// inconsistent record, a report that is neither null nor an object, a
// missing page template or a failed write.
Result<void> writeViewer(const RunRecord& run, const std::string& dir, const std::string& glbName,
                         const nlohmann::json& report = nullptr);

// The page template writeViewer uses: $KESTRELWOOD_VIEWER_TEMPLATE when set,
// else the one the build made (build/<preset>/viewer/viewer-template.html).
std::string viewerTemplatePath();

}  // namespace kwhost

#endif
