// The one ray/triangle test every collider structure uses, so that they all
// report the same hits bit for bit.
//
// Watertight test (Woop, Benthin and Wald, 2013) in double precision: the
// triangle is moved into a frame where the ray runs along +z, and the three
// 2D edge functions decide the hit. An edge shared by two triangles gets the
// same edge function (up to sign) in both, so a ray never slips through a
// shared edge or vertex. Triangles are closed (a ray through an edge or a
// vertex hits) and both faces count. The test errs by at most a few units in
// the last place of the coordinates relative to the ray's start, whatever
// the ray's slant, and its t is a convex combination of the vertices' depths
// along the ray; the accelerated structures rely on both facts to stay exact.
//
// Results:
//  - t: along `direction` as given (the distance when it is a unit vector),
//    accepted when 0 <= t <= length;
//  - weights of a, b, c at the hit (they sum to 1 up to rounding);
//  - backface: the ray met the side that (b - a) x (c - a) points away from;
//  - a ray lying in the triangle's plane misses it (no area seen along the ray).
#ifndef KWHOST_RAY_TRIANGLE_H
#define KWHOST_RAY_TRIANGLE_H

#include <cmath>
#include <cstdint>

#include "collider/terrain_collider.h"

namespace kwhost {

// A ray with what the triangle test needs precomputed.
struct PreparedRay {
  double s[3];  // start
  double d[3];  // direction
  double length;
  double sx, sy, sz;  // shear taking the direction to +z
  int kx, ky, kz;     // axes of the ray frame; kz: largest |direction| component
};

// False when no triangle can be hit: zero or non-finite direction, non-finite
// start, negative or NaN length.
inline bool prepareRay(const Vec3f& start, const Vec3f& direction, float length, PreparedRay* r) {
  r->s[0] = start.x;
  r->s[1] = start.y;
  r->s[2] = start.z;
  r->d[0] = direction.x;
  r->d[1] = direction.y;
  r->d[2] = direction.z;
  r->length = length;
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(r->s[i]) || !std::isfinite(r->d[i])) return false;
  if (!(r->length >= 0.0)) return false;
  const double ax = std::fabs(r->d[0]), ay = std::fabs(r->d[1]), az = std::fabs(r->d[2]);
  int kz = 2;
  if (ax >= ay && ax >= az)
    kz = 0;
  else if (ay >= az)
    kz = 1;
  if (r->d[kz] == 0.0) return false;
  int kx = (kz + 1) % 3, ky = (kx + 1) % 3;
  if (r->d[kz] < 0.0) {  // keep the frame right-handed so det's sign tells the face
    const int k = kx;
    kx = ky;
    ky = k;
  }
  r->kx = kx;
  r->ky = ky;
  r->kz = kz;
  r->sx = r->d[kx] / r->d[kz];
  r->sy = r->d[ky] / r->d[kz];
  r->sz = 1.0 / r->d[kz];
  return true;
}

struct TriangleHit {
  double t;
  double wa, wb, wc;  // weights of a, b, c
  bool backface;
};

// True, with *hit filled, when the ray meets triangle (a, b, c) at
// 0 <= t <= length.
inline bool intersectTriangle(const PreparedRay& r, const float* a, const float* b, const float* c,
                              TriangleHit* hit) {
  const int kx = r.kx, ky = r.ky, kz = r.kz;
  const double az_ = a[kz] - r.s[kz], bz_ = b[kz] - r.s[kz], cz_ = c[kz] - r.s[kz];
  const double ax = (a[kx] - r.s[kx]) - r.sx * az_, ay = (a[ky] - r.s[ky]) - r.sy * az_;
  const double bx = (b[kx] - r.s[kx]) - r.sx * bz_, by = (b[ky] - r.s[ky]) - r.sy * bz_;
  const double cx = (c[kx] - r.s[kx]) - r.sx * cz_, cy = (c[ky] - r.s[ky]) - r.sy * cz_;
  const double u = cx * by - cy * bx;  // weight of a (edge b-c)
  const double v = ax * cy - ay * cx;  // weight of b (edge c-a)
  const double w = bx * ay - by * ax;  // weight of c (edge a-b)
  if ((u < 0.0 || v < 0.0 || w < 0.0) && (u > 0.0 || v > 0.0 || w > 0.0)) return false;
  const double det = u + v + w;
  if (det == 0.0 || !std::isfinite(det)) return false;
  const double tn = u * (r.sz * az_) + v * (r.sz * bz_) + w * (r.sz * cz_);
  double t = tn / det;
  if (!(t >= 0.0 && t <= r.length)) return false;
  if (t == 0.0) t = 0.0;  // no -0
  hit->t = t;
  hit->wa = u / det;
  hit->wb = v / det;
  hit->wc = w / det;
  hit->backface = det < 0.0;
  return true;
}

// Normalised (b - a) x (c - a), computed in double and rounded to float; the
// zero vector for a degenerate triangle (cross product shorter than 2^-40
// times the product of the edge lengths, rounding noise of collinear points).
inline Vec3f faceNormal(const float* a, const float* b, const float* c) {
  const double e1[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
  const double e2[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
  const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                       e1[0] * e2[1] - e1[1] * e2[0]};
  const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  const double l1 = e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2];
  const double l2 = e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2];
  if (!(nn > 0x1p-80 * l1 * l2) || !std::isfinite(nn)) return Vec3f{0.0f, 0.0f, 0.0f};
  const double len = std::sqrt(nn);
  return Vec3f{float(n[0] / len), float(n[1] / len), float(n[2] / len)};
}

// The hit record of triangle `face` for a ray; the one formula every
// structure uses: hitPosition = float(double(start) + t * double(direction))
// per component, distance = float(t), weights rounded to float.
inline RayHit makeHit(const PreparedRay& r, const TriangleHit& h, int32_t face, const float* a,
                      const float* b, const float* c) {
  RayHit out;
  out.hitPosition = Vec3f{float(r.s[0] + h.t * r.d[0]), float(r.s[1] + h.t * r.d[1]),
                          float(r.s[2] + h.t * r.d[2])};
  out.faceNormal = faceNormal(a, b, c);
  out.barycentric = Vec3f{float(h.wa), float(h.wb), float(h.wc)};
  out.distance = float(h.t);
  out.face = face;
  out.backface = h.backface;
  return out;
}

// The reference: every triangle tested, the smallest t kept, the lowest
// index on equal t. Triangles with an index >= npoints are absent.
// Returns the index hit, or -1.
inline int64_t bruteForceNearest(const PreparedRay& r, const float* points, size_t npoints,
                                 const uint32_t* tris, size_t ntris, TriangleHit* best) {
  int64_t found = -1;
  for (size_t i = 0; i < ntris; ++i) {
    const uint32_t ia = tris[3 * i], ib = tris[3 * i + 1], ic = tris[3 * i + 2];
    if (ia >= npoints || ib >= npoints || ic >= npoints) continue;
    TriangleHit h{};
    if (intersectTriangle(r, points + 3 * size_t(ia), points + 3 * size_t(ib), points + 3 * size_t(ic), &h) &&
        (found < 0 || h.t < best->t)) {
      *best = h;
      found = int64_t(i);
    }
  }
  return found;
}

}  // namespace kwhost

#endif
