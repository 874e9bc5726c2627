#include "neighbour_scan.h"

// A compiler header, not the C library's: freestanding like the rest. Its
// one way into the C library, mm_malloc.h (for _mm_malloc, not used here),
// is closed: GCC's and clang's guards are defined first, so that no C
// header is read (a build without a platform SDK has none).
#if !defined(__SSE2__)
#error "the neighbour scan needs SSE2 (every deliverable's baseline)"
#endif
#define _MM_MALLOC_H_INCLUDED
#define __MM_MALLOC_H
#include <emmintrin.h>

namespace {

inline Real Lane0(__m128 v) { return _mm_cvtss_f32(v); }
inline Real Lane1(__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))); }


// Lanes set in a 4-bit mask.
const LONG kLanesSet[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// The set lanes of a 4-bit mask, lowest first (the rest repeat the last).
alignas(16) const int32_t kSetLanes[16][4] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 1, 1, 1}, {2, 2, 2, 2}, {0, 2, 2, 2}, {1, 2, 2, 2}, {0, 1, 2, 2},
    {3, 3, 3, 3}, {0, 3, 3, 3}, {1, 3, 3, 3}, {0, 1, 3, 3}, {2, 3, 3, 3}, {0, 2, 3, 3}, {1, 2, 3, 3}, {0, 1, 2, 3}};

Real NextUp(Real x) {
  union {
    Real f;
    uint32_t u;
  } b = {x};
  b.u += 1;  // x >= 0 and finite here
  return b.f;
}

Real NextDown(Real x) {
  union {
    Real f;
    uint32_t u;
  } b = {x};
  b.u -= 1;  // x > 0 here
  return b.f;
}

// The largest x with Sqrt(x) <= r, for r > 0: as the root is exactly rounded
// and so monotonic, Sqrt(x) <= r exactly when x <= this bound, and a pair's
// squared distance tells whether its distance is within r without taking
// the root.
Real SquaredReach(Real r) {
  const Real largest = 3.40282347e38f;
  if (r > largest) return r;  // infinite: everything but a non-number is within
  Real c = r * r;
  if (c > largest) c = largest;
  // A few steps at most: r * r is within half an ulp of the bound.
  while (c > 0.0f && Sqrt(c) > r) c = NextDown(c);
  while (c < largest && Sqrt(NextUp(c)) <= r) c = NextUp(c);
  return c;
}

}  // namespace

namespace {

// The scan's invariants, broadcast to every lane.
struct Broadcast {
  __m128 ax, ay, az;  // the agent's position
  __m128 reach1, reach2;
  __m128i count, self;
};

// Pairs gathered for the repulsion pass: a bound on the stack, not on the
// crowd (longer crowds are scanned chunk by chunk, in order).
const LONG kChunkGroups = 64;

// Alignment over the groups [g0, g1), and the indices of the pairs within
// the repulsion radius gathered in order. No branch depends on the data: a
// pair out of reach adds +0 to the alignment sums, and four indices are
// written for every group, the count advancing only past those taken.
template <bool kRepel, bool kAlign>
LONG AlignAndGather(const CrowdSnapshot& crowd, const Broadcast& b, LONG g0, LONG g1, __m128* turn, LONG* found,
                    LONG* pairs) {
  LONG gathered = 0;
  __m128 sum = *turn;
  LONG n = *found;
  __m128i index = _mm_add_epi32(_mm_set1_epi32(4 * g0), _mm_set_epi32(3, 2, 1, 0));
  const __m128i four = _mm_set1_epi32(4);
  for (LONG g = g0; g < g1; ++g, index = _mm_add_epi32(index, four)) {
    const LONG j = 4 * g;
    // v = A.off - p; d^2 = |v|^2 with the terms summed x, y, z.
    const __m128 vx = _mm_sub_ps(b.ax, _mm_load_ps(crowd.X() + j));
    const __m128 vy = _mm_sub_ps(b.ay, _mm_load_ps(crowd.Y() + j));
    const __m128 vz = _mm_sub_ps(b.az, _mm_load_ps(crowd.Z() + j));
    const __m128 d2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(vx, vx), _mm_mul_ps(vy, vy)), _mm_mul_ps(vz, vz));
    // A neighbour: a child held (not padding) other than the agent.
    const __m128 other =
        _mm_castsi128_ps(_mm_andnot_si128(_mm_cmpeq_epi32(index, b.self), _mm_cmplt_epi32(index, b.count)));
    if (kRepel) {
      // Taken unless d > radius (a non-number is taken).
      const int near = _mm_movemask_ps(_mm_and_ps(other, _mm_cmpngt_ps(d2, b.reach1)));
      const __m128i taken = _mm_load_si128(reinterpret_cast<const __m128i*>(kSetLanes[near]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pairs + gathered), _mm_add_epi32(_mm_set1_epi32(j), taken));
      gathered += kLanesSet[near];
    }
    if (kAlign) {
      // Taken when d <= radius.
      const __m128 near = _mm_and_ps(other, _mm_cmple_ps(d2, b.reach2));
      const __m128 h = _mm_and_ps(near, _mm_load_ps(crowd.Heading() + j));
      const __m128 k = _mm_and_ps(near, _mm_load_ps(crowd.Bank() + j));
      const __m128 lo = _mm_unpacklo_ps(h, k);  // h0 b0 h1 b1
      const __m128 hi = _mm_unpackhi_ps(h, k);  // h2 b2 h3 b3
      sum = _mm_add_ps(sum, lo);
      sum = _mm_add_ps(sum, _mm_movehl_ps(lo, lo));
      sum = _mm_add_ps(sum, hi);
      sum = _mm_add_ps(sum, _mm_movehl_ps(hi, hi));
      n += kLanesSet[_mm_movemask_ps(near)];
    }
  }
  *turn = sum;
  *found = n;
  return gathered;
}

inline Real Root(Real x) { return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x))); }

// Repulsion over the gathered pairs, in order, one at a time as the rule
// states it: a few in any crowd, as only pairs within the radius come here.
// The root of a float is exactly rounded in single precision as well (the
// same as Sqrt's through double); the nearest distance to the point ahead is
// the root of the least square, the root being monotonic.
void Repel(const CrowdSnapshot& crowd, const Vector& off, const Vector& ahead, Real radius, const LONG* pairs,
           LONG gathered, Vector* push, Real* nearest2) {
  Vector sum = *push;
  Real least = *nearest2;
  for (LONG s = 0; s < gathered; ++s) {
    const LONG j = pairs[s];
    const Vector p(crowd.X()[j], crowd.Y()[j], crowd.Z()[j]);
    Vector v = off - p;
    Real d = Root(v.x * v.x + v.y * v.y + v.z * v.z);
    if (d != 0.0f) sum += v * (1.0f / d) * (1.0f - d / radius);
    Vector e = ahead - p;
    Real e2 = e.x * e.x + e.y * e.y + e.z * e.z;
    if (e2 < least) least = e2;  // a non-number never is
  }
  *push = sum;
  *nearest2 = least;
}

template <bool kRepel, bool kAlign>
void Scan(const CrowdSnapshot& crowd, const Broadcast& b, const Vector& off, const Vector& ahead, Real radius,
          NeighbourSums* out) {
  LONG pairs[4 * kChunkGroups + 4];  // room for the last group's four
  __m128 turn = _mm_setzero_ps();  // heading, bank, -, -
  LONG found = 0;
  Real nearest2 = __builtin_inff();
  const LONG total = crowd.Lanes() / 4;
  for (LONG g0 = 0; g0 < total; g0 += kChunkGroups) {
    const LONG g1 = total - g0 < kChunkGroups ? total : g0 + kChunkGroups;
    const LONG gathered = AlignAndGather<kRepel, kAlign>(crowd, b, g0, g1, &turn, &found, pairs);
    if (kRepel) Repel(crowd, off, ahead, radius, pairs, gathered, &out->push, &nearest2);
  }
  if (kRepel) {
    const Real e = Root(nearest2);
    if (e < out->nearestAhead) out->nearestAhead = e;
  }
  out->sumH = Lane0(turn);
  out->sumB = Lane1(turn);
  out->count = found;
}

}  // namespace

void ScanNeighbours(const CrowdSnapshot& crowd, LONG self, const Vector& off, const Vector& ahead,
                    Real repulsionRadius, Real alignmentRadius, NeighbourSums* out) {
  out->push = Vector();
  out->nearestAhead = repulsionRadius;
  out->sumH = 0.0f;
  out->sumB = 0.0f;
  out->count = 0;
  const bool repel = repulsionRadius > 0.0f;
  const bool align = alignmentRadius > 0.0f;
  if (!repel && !align) return;

  Broadcast b;
  b.ax = _mm_set1_ps(off.x);
  b.ay = _mm_set1_ps(off.y);
  b.az = _mm_set1_ps(off.z);
  b.reach1 = _mm_set1_ps(repel ? SquaredReach(repulsionRadius) : 0.0f);
  b.reach2 = _mm_set1_ps(align ? SquaredReach(alignmentRadius) : 0.0f);
  b.count = _mm_set1_epi32(crowd.Count());
  b.self = _mm_set1_epi32(self);
  if (repel && align) Scan<true, true>(crowd, b, off, ahead, repulsionRadius, out);
  else if (repel) Scan<true, false>(crowd, b, off, ahead, repulsionRadius, out);
  else Scan<false, true>(crowd, b, off, ahead, repulsionRadius, out);
}
