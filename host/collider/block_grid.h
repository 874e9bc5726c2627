// A 2D grid over the mesh's dominant plane (the two axes of largest extent)
// whose cells list the triangle blocks (and, for blocks too spread out to
// bin whole, the single triangles) whose boxes overlap them. A ray walks the
// columns of cells it crosses in order of distance and stops once the next
// column starts beyond the nearest hit found.
//
// Exactness: every box is binned with a margin `pad` and the walk widens
// its cells by the same margin, far more than the triangle test's rounding
// (a few ulps of the coordinates relative to the ray's start) and the walk's
// own; so every triangle the brute-force scan would hit is tested, and the
// nearest is chosen by (t, index), the scan's order. A ray starting so far
// away that this margin would not cover the rounding falls back to the scan.
#ifndef KWHOST_BLOCK_GRID_H
#define KWHOST_BLOCK_GRID_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "collider/mesh_mirror.h"
#include "collider/ray_triangle.h"

namespace kwhost {

class BlockGrid {
 public:
  // Rebuilds the cells from the mirror's block boxes; a pure function of the
  // geometry, so it gives the same grid as a build from scratch.
  void build(const MeshMirror& mesh);

  // Nearest hit (smallest t, then lowest index) or -1; with anyHit, the
  // first hit found.
  int64_t nearest(const MeshMirror& mesh, const PreparedRay& ray, bool anyHit, TriangleHit* best);

  size_t memoryBytes() const;

 private:
  // Entry: a block index, or a triangle index with kLoose set.
  static constexpr uint32_t kLoose = 0x80000000u;

  struct Query;
  void visitCell(Query& q, size_t cell);
  void testEntry(Query& q, uint32_t entry);

  // Cells a block or a loose triangle covers; i0 < 0: none (block empty,
  // or binned triangle by triangle).
  struct Span {
    int32_t i0, i1, j0, j1;
    uint32_t entry;
    bool operator==(const Span&) const = default;
  };
  // Grid frame: cells along axis au (index i) and av (index j); aw is the
  // axis of smallest extent.
  struct Frame {
    int au = 0, av = 2, aw = 1;
    int nu = 0, nv = 0;
    double u0 = 0, v0 = 0, hu = 1, hv = 1, invHu = 1, invHv = 1;
    double pad = 0, scale = 0;
    bool operator==(const Frame&) const = default;
  };
  // The cells (clamped to the grid) that a box, widened by the frame's pad,
  // overlaps.
  static void cellRange(const Frame& f, const float* lo, const float* hi, int* i0, int* i1, int* j0, int* j1);
  void fillCells(size_t ntris);

  // The frame the cell lists were filled for (nu = nv = 0: nothing to hit).
  Frame frame_;
  bool filled_ = false;
  // The spans the cell lists were filled from: when a build finds the same
  // frame and the same spans, the lists are the same and are kept.
  std::vector<Span> spans_;
  double lo_[3] = {0, 0, 0}, hi_[3] = {-1, -1, -1};  // bounds of all binned boxes
  std::vector<uint32_t> cellStart_;                   // nu*nv + 1 offsets into entries_
  std::vector<uint32_t> entries_;
  std::vector<uint32_t> always_;   // tested by every ray: non-finite or huge boxes
  std::vector<uint8_t> loose_;     // per block: binned triangle by triangle
  std::vector<uint32_t> mailbox_;  // per block: last query that tested it
  uint32_t stamp_ = 0;
};

}  // namespace kwhost

#endif
