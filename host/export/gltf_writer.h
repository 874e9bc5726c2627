// The whole run as one glTF 2.0 binary (.glb) that any glTF viewer plays:
// the terrains (positions, normals, triangles), the obstacles as circles
// (line loops), every agent as a node with an arrowhead mesh and an animation
// of its translation and rotation, and the other recorded objects (targets,
// moving groups) as small markers with the same animation.
//
// Frames: the scene's left-handed frame is mirrored in Z into glTF's
// right-handed Y-up frame (view_geometry.h). Time: frame f plays at f / fps
// seconds; a run whose first frame is negative is shifted so that it starts at
// 0, because glTF animation times cannot be negative. Keyframes interpolate
// linearly; agent scale is not animated.
#ifndef KWHOST_EXPORT_GLTF_WRITER_H
#define KWHOST_EXPORT_GLTF_WRITER_H

#include <string>

#include "core/result.h"
#include "export/run_record.h"

namespace kwhost {

// Writes the run to path (through a temporary file renamed over it). An
// error saying what and where for a record that cannot be written:
// agents or tracks whose frame count or matrices are not usable, frames not
// in increasing order, terrain triangles that refer to missing points, or a
// failed write. path is then left as it was.
Result<void> writeGlb(const RunRecord& run, const std::string& path);

}  // namespace kwhost

#endif
