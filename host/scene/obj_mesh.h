// Wavefront OBJ geometry for polygon objects: vertices and faces only
// (normals, texture coordinates, groups and materials are ignored).
#ifndef KWHOST_SCENE_OBJ_MESH_H
#define KWHOST_SCENE_OBJ_MESH_H

#include <cstdint>
#include <string>
#include <vector>

#include "c4d_hosttable.h"
#include "core/result.h"

namespace kwhost::scene {

struct PolygonMesh {
  std::vector<KwVector> points;
  std::vector<std::vector<uint32_t>> polygons;  // 3 or more 0-based point indices each
  std::vector<std::string> warnings;            // what the loader passed over (e.g. faces of 2 points)
};

// Fails with a message naming the file and the fault: unreadable, a face
// that refers to a missing point or has fewer than 3 points, a coordinate
// that is not a finite 32-bit float.
Result<PolygonMesh> readObjFile(const std::string& path);

}  // namespace kwhost::scene

#endif
