// What the tags drew, frame by frame, for programs that show a run's
// overlays themselves (the Blender add-on draws them in its viewport), as
// JSON Lines: a first line {"format": "kestrelwood-drawing/1"}, then one
// line per evaluated frame, in order, each after its evaluation (the CSV's
// frames), so that a reader may parse only the frames it shows:
//   {"frame": F, "lines": [[tag, r, g, b, ax, ay, az, bx, by, bz], ...],
//    "circles": [[tag, r, g, b, cx, cy, cz, v1x, v1y, v1z, v2x, v2y, v2z], ...]}
// tag is the drawing tag's position in evaluation order (the CSV's tag
// column); r, g, b its pen colour (0 to 255); points in world coordinates of
// the host's axes and scene units; a circle is the ellipse c + cos(t) v1 +
// sin(t) v2. Every number as %.9g, which gives back the same 32-bit float.
// Read by the Blender add-on (blender/kestrelwood/overlays.py).
#ifndef KWHOST_EXPORT_DRAWING_WRITER_H
#define KWHOST_EXPORT_DRAWING_WRITER_H

#include <cstdio>
#include <string>

#include "core/result.h"
#include "export/run_record.h"

namespace kwhost {

inline constexpr const char* kDrawingFormat = "kestrelwood-drawing/1";

bool writeDrawing(const RunRecord& run, std::FILE* out);
// Through a temporary file renamed over path.
Result<void> writeDrawingFile(const RunRecord& run, const std::string& path);

}  // namespace kwhost

#endif
