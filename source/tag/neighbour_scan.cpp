#include "neighbour_scan.h"

// A compiler header, not the C library's: freestanding like the rest.
#if !defined(__SSE2__)
#error "the neighbour scan needs SSE2 (every deliverable's baseline)"
#endif
#include <emmintrin.h>

namespace {

inline Real Lane0(__m128 v) { return _mm_cvtss_f32(v); }
inline Real Lane1(__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))); }
inline Real Lane2(__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2))); }

inline __m128 Select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

// Lanes set in a 4-bit mask.
const LONG kLanesSet[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

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
  __m128 hx, hy, hz;  // the point ahead
  __m128 r1;          // repulsion radius
  __m128 reach1, reach2;
  __m128i count, self;
};

// Groups of four lanes scanned before the repulsion pass over those among
// them that hold a pair within its reach: a bound on the stack, not on the
// crowd (longer crowds are scanned chunk by chunk, in order).
const LONG kChunkGroups = 64;

// Alignment over the groups [g0, g1) and, for repulsion, the groups with a
// pair within reach (group index and lane mask), in order.
template <bool kRepel, bool kAlign>
LONG AlignAndSelect(const CrowdSnapshot& crowd, const Broadcast& b, LONG g0, LONG g1, __m128* turn, LONG* found,
                    LONG* groups, int* masks) {
  LONG selected = 0;
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
      if (near) {
        groups[selected] = g;
        masks[selected++] = near;
      }
    }
    if (kAlign) {
      // Taken when d <= radius.
      const __m128 near = _mm_and_ps(other, _mm_cmple_ps(d2, b.reach2));
      if (const int taken = _mm_movemask_ps(near)) {
        const __m128 h = _mm_and_ps(near, _mm_load_ps(crowd.Heading() + j));
        const __m128 k = _mm_and_ps(near, _mm_load_ps(crowd.Bank() + j));
        const __m128 lo = _mm_unpacklo_ps(h, k);  // h0 b0 h1 b1
        const __m128 hi = _mm_unpackhi_ps(h, k);  // h2 b2 h3 b3
        sum = _mm_add_ps(sum, lo);
        sum = _mm_add_ps(sum, _mm_movehl_ps(lo, lo));
        sum = _mm_add_ps(sum, hi);
        sum = _mm_add_ps(sum, _mm_movehl_ps(hi, hi));
        n += kLanesSet[taken];
      }
    }
  }
  *turn = sum;
  *found = n;
  return selected;
}

// Repulsion over the selected groups, in order.
void Repel(const CrowdSnapshot& crowd, const Broadcast& b, const LONG* groups, const int* masks, LONG selected,
           __m128* push, __m128* nearest2) {
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 infinity = _mm_set1_ps(__builtin_inff());
  __m128 sum = *push;
  __m128 least = *nearest2;
  for (LONG s = 0; s < selected; ++s) {
    const LONG j = 4 * groups[s];
    const int m = masks[s];
    const __m128 near = _mm_castsi128_ps(
        _mm_set_epi32(m & 8 ? -1 : 0, m & 4 ? -1 : 0, m & 2 ? -1 : 0, m & 1 ? -1 : 0));
    const __m128 px = _mm_load_ps(crowd.X() + j), py = _mm_load_ps(crowd.Y() + j), pz = _mm_load_ps(crowd.Z() + j);
    const __m128 vx = _mm_sub_ps(b.ax, px), vy = _mm_sub_ps(b.ay, py), vz = _mm_sub_ps(b.az, pz);
    const __m128 d =
        _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(vx, vx), _mm_mul_ps(vy, vy)), _mm_mul_ps(vz, vz)));
    // v * (1 / l) * (1 - d / radius), l = d; nothing where l is 0.
    const __m128 inv = _mm_div_ps(one, d);
    const __m128 weight = _mm_sub_ps(one, _mm_div_ps(d, b.r1));
    const __m128 pushing = _mm_and_ps(near, _mm_cmpneq_ps(d, zero));
    __m128 cx = _mm_and_ps(pushing, _mm_mul_ps(_mm_mul_ps(vx, inv), weight));
    __m128 cy = _mm_and_ps(pushing, _mm_mul_ps(_mm_mul_ps(vy, inv), weight));
    __m128 cz = _mm_and_ps(pushing, _mm_mul_ps(_mm_mul_ps(vz, inv), weight));
    __m128 cw = zero;
    _MM_TRANSPOSE4_PS(cx, cy, cz, cw);  // now one pair's push per register, in child order
    sum = _mm_add_ps(sum, cx);
    sum = _mm_add_ps(sum, cy);
    sum = _mm_add_ps(sum, cz);
    sum = _mm_add_ps(sum, cw);
    // |A.off + radius * A.v3 - p|^2; min keeps the old value for a non-number.
    const __m128 ex = _mm_sub_ps(b.hx, px), ey = _mm_sub_ps(b.hy, py), ez = _mm_sub_ps(b.hz, pz);
    const __m128 e2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(ex, ex), _mm_mul_ps(ey, ey)), _mm_mul_ps(ez, ez));
    least = _mm_min_ps(Select(near, e2, infinity), least);
  }
  *push = sum;
  *nearest2 = least;
}

template <bool kRepel, bool kAlign>
void Scan(const CrowdSnapshot& crowd, const Broadcast& b, __m128* push, __m128* nearest2, __m128* turn,
          LONG* found) {
  LONG groups[kChunkGroups];
  int masks[kChunkGroups];
  const LONG total = crowd.Lanes() / 4;
  for (LONG g0 = 0; g0 < total; g0 += kChunkGroups) {
    const LONG g1 = total - g0 < kChunkGroups ? total : g0 + kChunkGroups;
    const LONG selected = AlignAndSelect<kRepel, kAlign>(crowd, b, g0, g1, turn, found, groups, masks);
    if (kRepel) Repel(crowd, b, groups, masks, selected, push, nearest2);
  }
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
  b.hx = _mm_set1_ps(ahead.x);
  b.hy = _mm_set1_ps(ahead.y);
  b.hz = _mm_set1_ps(ahead.z);
  b.r1 = _mm_set1_ps(repulsionRadius);
  b.reach1 = _mm_set1_ps(repel ? SquaredReach(repulsionRadius) : 0.0f);
  b.reach2 = _mm_set1_ps(align ? SquaredReach(alignmentRadius) : 0.0f);
  b.count = _mm_set1_epi32(crowd.Count());
  b.self = _mm_set1_epi32(self);

  __m128 push = _mm_setzero_ps();                    // x, y, z, -
  __m128 turn = _mm_setzero_ps();                    // heading, bank, -, -
  __m128 nearest2 = _mm_set1_ps(__builtin_inff());  // per lane: least squared distance to the point ahead
  LONG found = 0;
  if (repel && align) Scan<true, true>(crowd, b, &push, &nearest2, &turn, &found);
  else if (repel) Scan<true, false>(crowd, b, &push, &nearest2, &turn, &found);
  else Scan<false, true>(crowd, b, &push, &nearest2, &turn, &found);

  out->push = Vector(Lane0(push), Lane1(push), Lane2(push));
  out->sumH = Lane0(turn);
  out->sumB = Lane1(turn);
  out->count = found;
  if (repel) {
    __m128 m = _mm_min_ps(nearest2, _mm_movehl_ps(nearest2, nearest2));
    m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 1, 1, 1)));
    const Real e = Lane0(_mm_sqrt_ss(m));
    if (e < out->nearestAhead) out->nearestAhead = e;
  }
}
