// glTF 2.0 geometry for polygon objects: the triangles of every mesh
// primitive of mode 4 (TRIANGLES, indexed or not) that the file's default
// scene (else its first) reaches, each through its node's global transform,
// as one geometry. glTF is right-handed and the host left-handed: a point
// (x, y, z) becomes (x, y, -z) and a triangle (a, b, c) becomes (a, c, b),
// so that its face keeps pointing the same way (run.glb is written the other
// way round). A node whose transform mirrors (negative determinant) turns
// its triangles the other way, as glTF says.
//
// Points are read as the file stores them (32-bit floats): a node without a
// transform gives them bit for bit, z negated. Other attributes (normals,
// colours, ...) and materials are no part of a ground and are not read.
#ifndef KWHOST_SCENE_GLTF_MESH_H
#define KWHOST_SCENE_GLTF_MESH_H

#include <cstdint>
#include <string>
#include <vector>

#include "c4d_hosttable.h"
#include "core/result.h"

namespace kwhost::scene {

struct TriangleMesh {
  std::vector<KwVector> points;
  std::vector<uint32_t> tris;  // three point indices per triangle
};

// Fails with "PATH: WHERE: WHAT" (WHERE inside the file, such as
// "accessors[3]" or "file"): a file that cannot be read or is no glTF 2.0, a
// buffer shorter than an accessor says, an index out of range, a point that
// is not a finite 32-bit float, no triangles at all, and what this reader
// does not read (required extensions, points other than 32-bit floats).
Result<TriangleMesh> readGltfFile(const std::string& path);

}  // namespace kwhost::scene

#endif
