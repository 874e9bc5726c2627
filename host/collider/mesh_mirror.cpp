#include "collider/mesh_mirror.h"

#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwhost {

namespace {
// Compare-and-copy granularity for the vertex array: small enough to stay in
// L1 between the compare and the copy.
constexpr size_t kChunkBytes = 4096;

// Copies src over dst where they differ; true when any byte differed.
bool mirrorBytes(void* dst, const void* src, size_t bytes) {
  bool changed = false;
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  for (size_t off = 0; off < bytes; off += kChunkBytes) {
    const size_t n = bytes - off < kChunkBytes ? bytes - off : kChunkBytes;
    if (std::memcmp(d + off, s + off, n) != 0) {
      std::memcpy(d + off, s + off, n);
      changed = true;
    }
  }
  return changed;
}
}  // namespace

#if defined(__SSE2__)
// x, y, z of vertex i in lanes 0-2 (lane 3 is not used): 16 bytes at once
// when another vertex follows, else exactly its three floats (a borrowed
// buffer ends with the last vertex).
inline __m128 loadVertex(const float* p, uint32_t i, uint32_t np) {
  const float* v = p + 3 * size_t(i);
  if (i + 1 < np) return _mm_loadu_ps(v);
  const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(v));
  return _mm_movelh_ps(xy, _mm_load_ss(v + 2));
}
#endif

bool MeshMirror::syncPoints(const Vec3f* points, size_t npoints) {
  static_assert(sizeof(Vec3f) == 3 * sizeof(float));
  const bool resized = !valid_ || npoints != npoints_;
  if (resized) {
    points_.assign(3 * npoints, 0.0f);
    npoints_ = npoints;
  }
  const bool differs = npoints && mirrorBytes(points_.data(), points, npoints * sizeof(Vec3f));
  return resized || differs;
}

void MeshMirror::computeBox(size_t block) {
  const size_t first = block * kBlockTriangles;
  const size_t last = first + kBlockTriangles < ntris_ ? first + kBlockTriangles : ntris_;
  const uint32_t* t = tri_ + 3 * first;
  const float* p = pts_;
  const uint32_t np = uint32_t(npoints_ < 0xffffffffu ? npoints_ : 0xffffffffu);
  // A triangle with a non-number coordinate can never be hit, so whatever
  // lanes it adds do no harm; a non-number never reaches the block's box:
  // min and max give their second operand when either is not a number, and
  // the box comes second. Two running boxes (even and odd triangles) halve
  // the chain of dependent min and max.
#if defined(__SSE2__)
  {
    // The vertices of a block a few blocks on, asked for now: a borrowed
    // mesh arrives cold, and each block waits on its vertices otherwise.
    const size_t ahead = first + 8 * kBlockTriangles;
    if (ahead < ntris_) {
      const uint32_t* u = tri_ + 3 * ahead;
      for (int v = 0; v < 3; ++v)
        if (u[v] < np) _mm_prefetch(reinterpret_cast<const char*>(p + 3 * size_t(u[v])), _MM_HINT_T0);
      const uint32_t* w = u + 3 * (kBlockTriangles - 1) < tri_ + 3 * ntris_ ? u + 3 * (kBlockTriangles - 1) : u;
      for (int v = 0; v < 3; ++v)
        if (w[v] < np) _mm_prefetch(reinterpret_cast<const char*>(p + 3 * size_t(w[v])), _MM_HINT_T0);
    }
  }
  const __m128 inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
  __m128 lo[2] = {inf, inf};
  const __m128 negInf = _mm_set1_ps(-std::numeric_limits<float>::infinity());
  __m128 hi[2] = {negInf, negInf};
  for (size_t i = first; i < last; ++i, t += 3) {
    if (t[0] >= np || t[1] >= np || t[2] >= np) continue;
    const __m128 a = loadVertex(p, t[0], np);
    const __m128 b = loadVertex(p, t[1], np);
    const __m128 c = loadVertex(p, t[2], np);
    const size_t k = i & 1;
    lo[k] = _mm_min_ps(_mm_min_ps(a, _mm_min_ps(b, c)), lo[k]);
    hi[k] = _mm_max_ps(_mm_max_ps(a, _mm_max_ps(b, c)), hi[k]);
  }
  const __m128 blo = _mm_min_ps(lo[0], lo[1]), bhi = _mm_max_ps(hi[0], hi[1]);
  alignas(16) float l[4], h[4];
  _mm_store_ps(l, blo);
  _mm_store_ps(h, bhi);
  Box3f& box = boxes_[block];
  for (int k = 0; k < 3; ++k) {
    box.lo[k] = l[k];
    box.hi[k] = h[k];
  }
#else
  Box3f box;
  for (int k = 0; k < 3; ++k) {
    box.lo[k] = std::numeric_limits<float>::infinity();
    box.hi[k] = -std::numeric_limits<float>::infinity();
  }
  for (size_t i = first; i < last; ++i, t += 3) {
    if (t[0] >= np || t[1] >= np || t[2] >= np) continue;
    for (int v = 0; v < 3; ++v)
      for (int k = 0; k < 3; ++k) {
        const float x = p[3 * size_t(t[v]) + k];
        box.lo[k] = x < box.lo[k] ? x : box.lo[k];
        box.hi[k] = x > box.hi[k] ? x : box.hi[k];
      }
  }
  boxes_[block] = box;
#endif
}

bool MeshMirror::sync(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris) {
  if (!points) npoints = 0;
  if (!tris) ntris = 0;
  const bool pointsChanged = syncPoints(points, npoints);
  const bool resized = !valid_ || ntris != ntris_;
  if (resized) {
    tris_.assign(3 * ntris, 0u);
    ntris_ = ntris;
    boxes_.resize((ntris + kBlockTriangles - 1) / kBlockTriangles);
  }
  valid_ = true;
  pts_ = points_.data();
  tri_ = tris_.data();
  bool changed = pointsChanged || resized;
  // One pass over the blocks: compare and copy the block's indices, and
  // recompute its box when its indices or any vertex changed.
  const size_t nblocks = boxes_.size();
  for (size_t b = 0; b < nblocks; ++b) {
    const size_t first = b * kBlockTriangles;
    const size_t count = first + kBlockTriangles < ntris ? kBlockTriangles : ntris - first;
    const size_t bytes = 3 * count * sizeof(uint32_t);
    uint32_t* dst = tris_.data() + 3 * first;
    const uint32_t* src = tris + 3 * first;
    bool dirty = pointsChanged || resized;
    if (std::memcmp(dst, src, bytes) != 0) {
      std::memcpy(dst, src, bytes);
      dirty = true;
    }
    if (dirty) {
      computeBox(b);
      changed = true;
    }
  }
  return changed;
}

void MeshMirror::borrow(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris) {
  if (!points) npoints = 0;
  if (!tris) ntris = 0;
  std::vector<float>().swap(points_);
  std::vector<uint32_t>().swap(tris_);
  valid_ = false;  // a later sync copies afresh
  pts_ = reinterpret_cast<const float*>(points);
  tri_ = tris;
  npoints_ = npoints;
  ntris_ = ntris;
  boxes_.resize((ntris + kBlockTriangles - 1) / kBlockTriangles);
  for (size_t b = 0; b < boxes_.size(); ++b) computeBox(b);
}

size_t MeshMirror::memoryBytes() const {
  return points_.capacity() * sizeof(float) + tris_.capacity() * sizeof(uint32_t) +
         boxes_.capacity() * sizeof(Box3f);
}

}  // namespace kwhost
