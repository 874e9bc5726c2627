#include "collider/block_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kwhost {

namespace {
// A block spread over more cells than this (it wraps to the next row of a
// grid terrain, or the mesh's order is not spatial) is binned triangle by
// triangle instead.
constexpr int kMaxBlockCells = 16;
// Entries allowed per triangle before huge triangles move to the list every
// ray tests; bounds the grid's memory whatever the mesh.
constexpr size_t kEntryBudgetPerTriangle = 3;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Cell of a coordinate already scaled to cells; values below 0 (and NaN)
// clamp to the first cell, so truncation equals floor here.
inline int clampIndex(double x, int n) {
  if (!(x >= 0.0)) return 0;
  if (x >= double(n - 1)) return n - 1;
  return int(x);
}

inline bool finiteBox(const float* lo, const float* hi) {
  for (int k = 0; k < 3; ++k)
    if (!std::isfinite(lo[k]) || !std::isfinite(hi[k])) return false;
  return true;
}

// Box of one triangle; false when it has a non-finite coordinate (such a
// triangle is never hit: the test's determinant is then not finite).
inline bool triangleBox(const float* p, const uint32_t* t, float* lo, float* hi) {
  const float* a = p + 3 * size_t(t[0]);
  const float* b = p + 3 * size_t(t[1]);
  const float* c = p + 3 * size_t(t[2]);
  for (int k = 0; k < 3; ++k) {
    lo[k] = std::min(a[k], std::min(b[k], c[k]));
    hi[k] = std::max(a[k], std::max(b[k], c[k]));
  }
  return finiteBox(lo, hi);
}
}  // namespace

struct BlockGrid::Query {
  const MeshMirror* mesh;
  const PreparedRay* r;
  bool anyHit;
  bool done;
  int64_t best;
  TriangleHit* hit;
  double tLimit;  // farthest t still worth testing
  double tEnd;    // end of the ray inside the grid's bounds
  double margin;  // t beyond the best hit that may still hold an equal t
};

void BlockGrid::cellRange(const Frame& f, const float* lo, const float* hi, int* i0, int* i1, int* j0, int* j1) {
  const double ul = (double(lo[f.au]) - f.pad - f.u0) * f.invHu, uh = (double(hi[f.au]) + f.pad - f.u0) * f.invHu;
  const double vl = (double(lo[f.av]) - f.pad - f.v0) * f.invHv, vh = (double(hi[f.av]) + f.pad - f.v0) * f.invHv;
  *i0 = clampIndex(ul, f.nu);
  *i1 = clampIndex(uh, f.nu);
  *j0 = clampIndex(vl, f.nv);
  *j1 = clampIndex(vh, f.nv);
}

void BlockGrid::build(const MeshMirror& mesh) {
  const size_t nb = mesh.nblocks();
  const Box3f* boxes = mesh.boxes();
  loose_.assign(nb, 0);
  if (mailbox_.size() != nb) mailbox_.assign(nb, 0);

  // Bounds of everything that can be hit.
  for (int k = 0; k < 3; ++k) {
    lo_[k] = kInf;
    hi_[k] = -kInf;
  }
  const float* p = mesh.points();
  const uint32_t* tris = mesh.tris();
  const size_t np = mesh.npoints();
  auto validTri = [&](size_t i) {
    const uint32_t* t = tris + 3 * i;
    return t[0] < np && t[1] < np && t[2] < np;
  };
  auto grow = [&](const float* lo, const float* hi) {
    for (int k = 0; k < 3; ++k) {
      lo_[k] = std::min(lo_[k], double(lo[k]));
      hi_[k] = std::max(hi_[k], double(hi[k]));
    }
  };
  for (size_t b = 0; b < nb; ++b) {
    const Box3f& box = boxes[b];
    if (box.lo[0] > box.hi[0]) continue;  // no valid triangle
    if (finiteBox(box.lo, box.hi)) {
      grow(box.lo, box.hi);
      continue;
    }
    loose_[b] = 1;  // some vertex not finite: keep only its hittable triangles
    const size_t last = std::min(mesh.ntris(), (b + 1) * kBlockTriangles);
    for (size_t i = b * kBlockTriangles; i < last; ++i) {
      float lo[3], hi[3];
      if (validTri(i) && triangleBox(p, tris + 3 * i, lo, hi)) grow(lo, hi);
    }
  }
  if (!(lo_[0] <= hi_[0])) {  // nothing can be hit
    frame_.nu = frame_.nv = 0;
    filled_ = false;
    always_.clear();
    return;
  }

  // Frame: cells over the two axes of largest extent.
  double ext[3], maxAbs = 0.0;
  for (int k = 0; k < 3; ++k) {
    ext[k] = hi_[k] - lo_[k];
    maxAbs = std::max(maxAbs, std::max(std::fabs(lo_[k]), std::fabs(hi_[k])));
  }
  Frame f;
  f.aw = ext[0] <= ext[1] && ext[0] <= ext[2] ? 0 : (ext[1] <= ext[2] ? 1 : 2);
  f.au = (f.aw + 1) % 3;
  f.av = (f.aw + 2) % 3;
  f.scale = std::max({ext[0], ext[1], ext[2], maxAbs * 0x1p-10, 0x1p-100});
  f.pad = f.scale * 0x1p-24;

  const double target = double(std::clamp<size_t>(nb, 1, size_t(1) << 22));
  const double eu = ext[f.au], ev = ext[f.av];
  double h = eu > 0.0 && ev > 0.0 ? std::sqrt(eu * ev / target) : std::max(eu, ev) / target;
  f.nu = eu > 0.0 && h > 0.0 ? int(std::clamp(std::ceil(eu / h), 1.0, target)) : 1;
  f.nv = ev > 0.0 && h > 0.0 ? int(std::clamp(std::ceil(ev / h), 1.0, target)) : 1;
  f.hu = eu > 0.0 ? eu / f.nu : 1.0;
  f.hv = ev > 0.0 ? ev / f.nv : 1.0;
  f.invHu = 1.0 / f.hu;
  f.invHv = 1.0 / f.hv;
  f.u0 = lo_[f.au];
  f.v0 = lo_[f.av];

  // The cells each block covers, or, for a block spread too wide (or with
  // non-finite vertices), each of its hittable triangles.
  // Spans are written over the last build's, noting whether any differs.
  size_t nspans = 0;
  bool spansChanged = false;
  auto put = [&](const Span& sp) {
    if (nspans < spans_.size()) {
      if (!(spans_[nspans] == sp)) {
        spans_[nspans] = sp;
        spansChanged = true;
      }
    } else {
      spans_.push_back(sp);
      spansChanged = true;
    }
    ++nspans;
  };
  for (size_t b = 0; b < nb; ++b) {
    const Box3f& box = boxes[b];
    if (box.lo[0] > box.hi[0]) continue;
    int i0, i1, j0, j1;
    if (!loose_[b]) {
      cellRange(f, box.lo, box.hi, &i0, &i1, &j0, &j1);
      if ((i1 - i0 + 1) * (j1 - j0 + 1) <= kMaxBlockCells) {
        put({i0, i1, j0, j1, uint32_t(b)});
        continue;
      }
      loose_[b] = 1;
    }
    const size_t last = std::min(mesh.ntris(), (b + 1) * kBlockTriangles);
    for (size_t i = b * kBlockTriangles; i < last; ++i) {
      float lo[3], hi[3];
      if (!validTri(i) || !triangleBox(p, tris + 3 * i, lo, hi)) continue;
      cellRange(f, lo, hi, &i0, &i1, &j0, &j1);
      put({i0, i1, j0, j1, uint32_t(i) | kLoose});
    }
  }
  if (nspans != spans_.size()) {
    spans_.resize(nspans);
    spansChanged = true;
  }
  if (filled_ && f == frame_ && !spansChanged) return;  // same cells as before
  frame_ = f;
  fillCells(mesh.ntris());
  filled_ = true;
}

void BlockGrid::fillCells(size_t ntris) {
  const size_t ncells = size_t(frame_.nu) * size_t(frame_.nv);
  // Two passes (count, then fill backwards so that the counts become the
  // starts); a triangle over more than maxCells cells goes to always_. When
  // the entries would exceed their budget, huge triangles are cut harder.
  const size_t budget = kEntryBudgetPerTriangle * ntris + ncells;
  for (long maxCells : {256L, 16L, 1L}) {
    cellStart_.assign(ncells + 1, 0);
    always_.clear();
    for (const Span& sp : spans_) {
      const long cells = long(sp.i1 - sp.i0 + 1) * long(sp.j1 - sp.j0 + 1);
      if ((sp.entry & kLoose) && cells > maxCells) {
        always_.push_back(sp.entry);
        continue;
      }
      for (int i = sp.i0; i <= sp.i1; ++i)
        for (int j = sp.j0; j <= sp.j1; ++j) ++cellStart_[size_t(i) * size_t(frame_.nv) + size_t(j)];
    }
    for (size_t c = 1; c <= ncells; ++c) cellStart_[c] += cellStart_[c - 1];
    if (cellStart_[ncells] > budget && maxCells > 1) continue;
    // cellStart_[c] holds the end of cell c's list; filling backwards leaves
    // its start there.
    entries_.resize(cellStart_[ncells]);
    for (const Span& sp : spans_) {
      const long cells = long(sp.i1 - sp.i0 + 1) * long(sp.j1 - sp.j0 + 1);
      if ((sp.entry & kLoose) && cells > maxCells) continue;
      for (int i = sp.i0; i <= sp.i1; ++i)
        for (int j = sp.j0; j <= sp.j1; ++j) entries_[--cellStart_[size_t(i) * size_t(frame_.nv) + size_t(j)]] = sp.entry;
    }
    cellStart_[ncells] = uint32_t(entries_.size());
    return;
  }
}

void BlockGrid::testEntry(Query& q, uint32_t entry) {
  const MeshMirror& m = *q.mesh;
  const PreparedRay& r = *q.r;
  const float* p = m.points();
  const uint32_t* tris = m.tris();
  const size_t np = m.npoints();
  size_t first, last;
  if (entry & kLoose) {
    first = entry & ~kLoose;
    last = first + 1;
  } else {
    const uint32_t b = entry;
    if (mailbox_[b] == stamp_) return;
    mailbox_[b] = stamp_;
    // Ray against the block's box widened by pad, over [0, tLimit].
    const Box3f& box = m.boxes()[b];
    double t0 = 0.0, t1 = q.tLimit;
    for (int k = 0; k < 3; ++k) {
      const double lo = double(box.lo[k]) - frame_.pad, hi = double(box.hi[k]) + frame_.pad;
      if (r.d[k] == 0.0) {
        if (r.s[k] < lo || r.s[k] > hi) return;
        continue;
      }
      const double inv = 1.0 / r.d[k];
      double ta = (lo - r.s[k]) * inv, tb = (hi - r.s[k]) * inv;
      if (ta > tb) std::swap(ta, tb);
      t0 = std::max(t0, ta);
      t1 = std::min(t1, tb);
      if (t0 > t1) return;
    }
    first = size_t(b) * kBlockTriangles;
    last = std::min(m.ntris(), first + kBlockTriangles);
  }
  for (size_t i = first; i < last; ++i) {
    const uint32_t* t = tris + 3 * i;
    if (t[0] >= np || t[1] >= np || t[2] >= np) continue;
    TriangleHit h;
    if (!intersectTriangle(r, p + 3 * size_t(t[0]), p + 3 * size_t(t[1]), p + 3 * size_t(t[2]), &h)) continue;
    if (q.best < 0 || h.t < q.hit->t || (h.t == q.hit->t && int64_t(i) < q.best)) {
      *q.hit = h;
      q.best = int64_t(i);
      q.tLimit = std::min(q.tEnd, h.t + q.margin);
      if (q.anyHit) {
        q.done = true;
        return;
      }
    }
  }
}

void BlockGrid::visitCell(Query& q, size_t cell) {
  for (uint32_t e = cellStart_[cell], end = cellStart_[cell + 1]; e < end && !q.done; ++e)
    testEntry(q, entries_[e]);
}

int64_t BlockGrid::nearest(const MeshMirror& mesh, const PreparedRay& r, bool anyHit, TriangleHit* best) {
  Query q{&mesh, &r, anyHit, false, -1, best, r.length, r.length, 0.0};
  if (++stamp_ == 0) {
    std::fill(mailbox_.begin(), mailbox_.end(), 0u);
    stamp_ = 1;
  }
  for (uint32_t e : always_) {
    testEntry(q, e);
    if (q.done) return q.best;
  }
  if (frame_.nu == 0) return q.best;

  // A start so far away that the margin would not cover the triangle test's
  // rounding (relative to the start): scan everything instead.
  double dmax = 0.0, sfar = 0.0;
  for (int k = 0; k < 3; ++k) {
    dmax = std::max(dmax, std::fabs(r.d[k]));
    sfar = std::max(sfar, std::fabs(r.s[k] - 0.5 * (lo_[k] + hi_[k])));
  }
  if (sfar > frame_.scale * 0x1p20) {
    TriangleHit h;
    const int64_t f = bruteForceNearest(r, mesh.points(), mesh.npoints(), mesh.tris(), mesh.ntris(), &h);
    if (f >= 0 && (q.best < 0 || h.t < best->t || (h.t == best->t && f < q.best))) {
      *best = h;
      q.best = f;
    }
    return q.best;
  }
  q.margin = 4.0 * frame_.pad / dmax;

  // Clip the ray to the widened bounds.
  double t0 = 0.0, t1 = r.length;
  for (int k = 0; k < 3; ++k) {
    const double lo = lo_[k] - frame_.pad, hi = hi_[k] + frame_.pad;
    if (r.d[k] == 0.0) {
      if (r.s[k] < lo || r.s[k] > hi) return q.best;
      continue;
    }
    double ta = (lo - r.s[k]) / r.d[k], tb = (hi - r.s[k]) / r.d[k];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
  }
  if (t0 > t1) return q.best;
  q.tEnd = t1;
  q.tLimit = q.best >= 0 ? std::min(t1, best->t + q.margin) : t1;

  // Walk along the axis (of the two grid axes) the ray moves along most.
  const bool alongU = std::fabs(r.d[frame_.au]) >= std::fabs(r.d[frame_.av]);
  const int ap = alongU ? frame_.au : frame_.av, aq = alongU ? frame_.av : frame_.au;
  const int np = alongU ? frame_.nu : frame_.nv, nq = alongU ? frame_.nv : frame_.nu;
  const double p0 = alongU ? frame_.u0 : frame_.v0, q0 = alongU ? frame_.v0 : frame_.u0;
  const double hp = alongU ? frame_.hu : frame_.hv, invHp = alongU ? frame_.invHu : frame_.invHv, invHq = alongU ? frame_.invHv : frame_.invHu;
  auto cellOf = [&](int ip, int iq) {
    return alongU ? size_t(ip) * size_t(frame_.nv) + size_t(iq) : size_t(iq) * size_t(frame_.nv) + size_t(ip);
  };
  const double dp = r.d[ap], dq = r.d[aq], sp = r.s[ap], sq = r.s[aq];

  if (dp == 0.0) {  // the ray runs along the grid's normal: one spot
    const double ps = sp + t0 * dp, qs = sq + t0 * dq;
    const int i0 = clampIndex(((ps - frame_.pad - p0) * invHp), np);
    const int i1 = clampIndex(((ps + frame_.pad - p0) * invHp), np);
    const int j0 = clampIndex(((qs - frame_.pad - q0) * invHq), nq);
    const int j1 = clampIndex(((qs + frame_.pad - q0) * invHq), nq);
    for (int i = i0; i <= i1; ++i)
      for (int j = j0; j <= j1 && !q.done; ++j) visitCell(q, cellOf(i, j));
    return q.best;
  }

  const int step = dp > 0.0 ? 1 : -1;
  const double invDp = 1.0 / dp;
  for (int i = clampIndex(((sp + t0 * dp - p0) * invHp), np); i >= 0 && i < np && !q.done; i += step) {
    // Column i, widened by pad, as a t interval.
    const double pl = p0 + double(i) * hp - frame_.pad, ph = p0 + double(i + 1) * hp + frame_.pad;
    // The first and last columns reach out to everything clamped into them.
    const double tl = i == 0 ? -step * kInf : (pl - sp) * invDp;
    const double th = i == np - 1 ? step * kInf : (ph - sp) * invDp;
    const double ta = std::min(tl, th), tb = std::max(tl, th);
    const double ce = std::max(ta, t0);
    if (ce > q.tLimit) break;
    const double cx = std::max(ce, std::min(tb, q.tLimit));
    const double qa = sq + ce * dq, qb = sq + cx * dq;
    const int j0 = clampIndex(((std::min(qa, qb) - frame_.pad - q0) * invHq), nq);
    const int j1 = clampIndex(((std::max(qa, qb) + frame_.pad - q0) * invHq), nq);
    for (int j = j0; j <= j1 && !q.done; ++j) visitCell(q, cellOf(i, j));
  }
  return q.best;
}

size_t BlockGrid::memoryBytes() const {
  return cellStart_.capacity() * sizeof(uint32_t) + entries_.capacity() * sizeof(uint32_t) +
         always_.capacity() * sizeof(uint32_t) + loose_.capacity() + mailbox_.capacity() * sizeof(uint32_t) +
         spans_.capacity() * sizeof(Span);
}

}  // namespace kwhost
