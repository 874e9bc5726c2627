// The mesh the collider casts against, and the bounding box of each block of
// consecutive triangles. Either
//  - its own copy, brought up to date by reading the caller's buffers on
//    every sync: the queries then depend on no buffer of the caller, and the
//    copy is what proves, byte for byte, that the geometry is unchanged (no
//    counter or hash is trusted). Blocks whose triangles and vertices compare
//    equal keep their boxes; the others are recomputed; or
//  - the caller's own buffers, borrowed: for an owner that keeps them alive
//    and unchanged while the collider uses them (the host's polygon objects
//    hold their geometry immutable and say by a version when it was
//    replaced). Every box is computed; nothing is copied.
#ifndef KWHOST_MESH_MIRROR_H
#define KWHOST_MESH_MIRROR_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "collider/terrain_collider.h"

namespace kwhost {

// Triangles per block: consecutive triangles of a terrain are neighbours, so
// a block's box is small; 32 keeps the boxes tight and their count low.
constexpr size_t kBlockTriangles = 32;

struct Box3f {
  float lo[3], hi[3];  // lo > hi: no valid triangle in the block
};

class MeshMirror {
 public:
  // Reads the geometry; returns true when anything differs from the last
  // call (always true on the first call).
  bool sync(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris);
  // Uses the caller's buffers from now on (no copy; any copy held is let
  // go); they must outlive every query until the next sync or borrow.
  void borrow(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris);

  const float* points() const { return pts_; }
  const uint32_t* tris() const { return tri_; }
  size_t npoints() const { return npoints_; }
  size_t ntris() const { return ntris_; }
  size_t nblocks() const { return boxes_.size(); }
  const Box3f* boxes() const { return boxes_.data(); }
  size_t memoryBytes() const;

 private:
  bool syncPoints(const Vec3f* points, size_t npoints);
  void computeBox(size_t block);

  std::vector<float> points_;  // the copy, 3 * npoints_
  std::vector<uint32_t> tris_;
  const float* pts_ = nullptr;  // the copy's or the borrowed buffers
  const uint32_t* tri_ = nullptr;
  std::vector<Box3f> boxes_;
  size_t npoints_ = 0, ntris_ = 0;
  bool valid_ = false;  // the copy holds the last geometry synced
};

}  // namespace kwhost

#endif
