// Geometry shared by the glTF file and the browser page: the change from the
// scene's frame to the viewers' frame, rotations as quaternions, terrain
// normals, and the agent marker.
//
// Frames. The scene (like the animation host it stands in for) is left-handed
// and Y-up: +X right, +Y up, +Z into the screen. glTF and three.js are
// right-handed and Y-up. We go from one to the other by mirroring Z:
//   point    (x, y, z)      -> (x, y, -z)
//   matrix   M              -> S M S, S = diag(1, 1, -1)
//   rotation quaternion (x, y, z, w) -> (-x, -y, z, w)
//   triangle (a, b, c)      -> (a, c, b)   (a mirror reverses the winding)
// Everything exported goes through these functions, so a crowd that walks
// clockwise seen from above in the scene does so in every viewer too.
#ifndef KWHOST_EXPORT_VIEW_GEOMETRY_H
#define KWHOST_EXPORT_VIEW_GEOMETRY_H

#include <array>
#include <cstdint>
#include <vector>

#include "core/result.h"
#include "export/run_record.h"

namespace kwhost::view {

using Quat = std::array<double, 4>;  // x, y, z, w (glTF order)

// A scene point in the viewers' frame.
Vec3 toView(const Vec3& p);
// A point given in an object's local coordinates, placed by its global
// matrix, in the viewers' frame.
Vec3 placeToView(const Mat12& global, const Vec3& local);
inline Vec3 offsetToView(const Mat12& m) { return toView({m[0], m[1], m[2]}); }

// The rotation of a matrix's axes, each normalised first (scale is dropped),
// as a unit quaternion in the viewers' frame. Axes of zero length give the
// identity. Axes that are not orthogonal (a sheared hierarchy) give the
// nearest rotation that the trace method finds, normalised.
Quat rotationToView(const Mat12& m);
// q or -q, whichever is nearer prev: keeps a track of quaternions on one
// hemisphere so that viewers interpolating between frames take the short way.
Quat sameHemisphere(const Quat& q, const Quat& prev);

bool finite(const Mat12& m);

// A terrain placed in the world and mirrored into the viewers' frame, with
// the winding reversed to match and unit normals per point (area weighted;
// (0, 1, 0) for points no triangle with an area touches).
struct ViewMesh {
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  std::vector<uint32_t> indices;
  Vec3 min{}, max{};
};
// An error when the mesh's triangles refer to points it lacks or a point is
// not a finite number.
Result<ViewMesh> terrainToView(const RecordedMesh& mesh);

// The agents' marker: an arrowhead of the given length pointing along the
// agent's forward axis (+Z of the scene, so -Z in the viewers' frame), its
// ridge on the agent's up side, flat shaded: 3 points per triangle.
struct Marker {
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
};
Marker agentMarker(float length);

// A marker length that suits the run: a sixtieth of the extent of the agents'
// paths and the terrains, at least 1e-3.
float markerLength(const RunRecord& run);

}  // namespace kwhost::view

#endif
