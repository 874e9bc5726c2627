#include "core/transform.h"

#include <cmath>
#include <cstring>

// The module's own types and helpers, so that the host computes products
// and orientations exactly as the module does.
#include "c4d_orientation.h"
#include "c4d_types.h"

namespace kwhost {
namespace {

Matrix toM(const KwMatrix& m) {
  Matrix r;
  std::memcpy(static_cast<void*>(&r), &m, sizeof(r));
  return r;
}

Vector toV(const KwVector& v) { return Vector(v.x, v.y, v.z); }
KwVector toK(const Vector& v) { return KwVector{v.x, v.y, v.z}; }

struct D3 {
  double x, y, z;
};
D3 cross(const D3& a, const D3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
// The float product a * s, bit for bit, from the exact double product of
// the two floats rounded once: no microcode assist (some hundred cycles on
// x86) for a subnormal axis entry, as a bank near 0 gives.
float product(float a, float s) {
  double x = a;
#if defined(__GNUC__) && defined(__SSE2__)
  __asm__("" : "+x"(x));  // not narrowed back to the float multiply (same value, so a compiler may)
#endif
  return static_cast<float>(x * static_cast<double>(s));
}
KwVector scaled(const D3& v, float s) {
  return KwVector{product(static_cast<float>(v.x), s), product(static_cast<float>(v.y), s),
                  product(static_cast<float>(v.z), s)};
}

}  // namespace

KwMatrix matrixFromPSR(const KwVector& pos, const KwVector& hpb, const KwVector& scale) {
  const double h = hpb.x, p = hpb.y, b = hpb.z;
  const double sh = std::sin(h), ch = std::cos(h), sp = std::sin(p), cp = std::cos(p), sb = std::sin(b),
               cb = std::cos(b);
  const D3 z{-sh * cp, sp, ch * cp};
  const D3 hor{ch, 0.0, sh};
  const D3 y0 = cross(z, hor);
  const D3 x{cb * hor.x - sb * y0.x, cb * hor.y - sb * y0.y, cb * hor.z - sb * y0.z};
  const D3 y = cross(z, x);
  return KwMatrix{pos, scaled(x, scale.x), scaled(y, scale.y), scaled(z, scale.z)};
}

namespace {

uint32_t bitsOf(float x) {
  uint32_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

bool negative(float x) { return (bitsOf(x) >> 31) != 0; }
float zero(bool negativeSign) { return negativeSign ? -0.0f : 0.0f; }

// Axes the identity but for the signs of their zeros, and a zero offset (a
// parent's matrix built from rotation 0 has -0 in places, the inverse of the
// identity a -0 offset).
bool actsAsIdentity(const KwMatrix& a) {
  return bitsOf(a.v1.x) == 0x3f800000u && bitsOf(a.v2.y) == 0x3f800000u && bitsOf(a.v3.z) == 0x3f800000u &&
         a.v1.y == 0.0f && a.v1.z == 0.0f && a.v2.x == 0.0f && a.v2.z == 0.0f && a.v3.x == 0.0f && a.v3.y == 0.0f &&
         a.off.x == 0.0f && a.off.y == 0.0f && a.off.z == 0.0f;
}

bool finiteEntries(const KwMatrix& b) {
  const float* f = &b.off.x;
  for (int i = 0; i < 12; ++i)
    if ((bitsOf(f[i]) & 0x7f800000u) == 0x7f800000u) return false;
  return true;
}

// a x b for a that acts as the identity and a finite b. Every entry of the
// product is a sum of one entry of b (times 1) and exact zeros (z q is a
// zero whose sign is the product of the signs; the offset adds a's zero
// first): b's entry when that is not zero, otherwise a zero that is -0 only
// when every term is -0.
KwMatrix identityProduct(const KwMatrix& a, const KwMatrix& b) {
  const float rows[3][3] = {{a.v1.x, a.v2.x, a.v3.x}, {a.v1.y, a.v2.y, a.v3.y}, {a.v1.z, a.v2.z, a.v3.z}};
  const float offset[3] = {a.off.x, a.off.y, a.off.z};
  KwMatrix r = b;
  auto settle = [&](KwVector& v, bool point) {
    const float q[3] = {v.x, v.y, v.z};
    float* out[3] = {&v.x, &v.y, &v.z};
    for (int c = 0; c < 3; ++c) {
      if (q[c] != 0.0f) continue;
      bool allNegative = !point || negative(offset[c]);
      for (int k = 0; k < 3; ++k) allNegative = allNegative && negative(rows[c][k]) != negative(q[k]);
      *out[c] = zero(allNegative);
    }
  };
  settle(r.off, true);
  settle(r.v1, false);
  settle(r.v2, false);
  settle(r.v3, false);
  return r;
}

}  // namespace

// The module's Matrix product written out on the table's type, the same
// single-precision operations in the same order (a * p = ((off + v1 p.x) +
// v2 p.y) + v3 p.z; an axis without the offset): no copies through the
// module's type on a path taken several times per agent and frame.
KwMatrix multiply(const KwMatrix& a, const KwMatrix& b) {
  // Under a parent at the origin, unturned and unscaled (the usual crowd
  // group), without the latency of the arithmetic on the path of every
  // agent's step.
  if (actsAsIdentity(a) && finiteEntries(b)) return identityProduct(a, b);
  auto point = [&a](const KwVector& p) {
    return KwVector{a.off.x + a.v1.x * p.x + a.v2.x * p.y + a.v3.x * p.z,
                    a.off.y + a.v1.y * p.x + a.v2.y * p.y + a.v3.y * p.z,
                    a.off.z + a.v1.z * p.x + a.v2.z * p.y + a.v3.z * p.z};
  };
  auto axis = [&a](const KwVector& d) {
    return KwVector{a.v1.x * d.x + a.v2.x * d.y + a.v3.x * d.z, a.v1.y * d.x + a.v2.y * d.y + a.v3.y * d.z,
                    a.v1.z * d.x + a.v2.z * d.y + a.v3.z * d.z};
  };
  return KwMatrix{point(b.off), axis(b.v1), axis(b.v2), axis(b.v3)};
}

KwMatrix inverse(const KwMatrix& m) {
  const double a = m.v1.x, b = m.v2.x, c = m.v3.x;  // row 0 of the axis part
  const double d = m.v1.y, e = m.v2.y, f = m.v3.y;
  const double g = m.v1.z, h = m.v2.z, k = m.v3.z;
  const double det = a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
  if (det == 0.0 || !std::isfinite(det)) return KwMatrix{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const double i = 1.0 / det;
  // Inverse rows r0, r1, r2; column j of the inverse is axis j.
  const double r00 = (e * k - f * h) * i, r01 = (c * h - b * k) * i, r02 = (b * f - c * e) * i;
  const double r10 = (f * g - d * k) * i, r11 = (a * k - c * g) * i, r12 = (c * d - a * f) * i;
  const double r20 = (d * h - e * g) * i, r21 = (b * g - a * h) * i, r22 = (a * e - b * d) * i;
  const double ox = m.off.x, oy = m.off.y, oz = m.off.z;
  auto f32 = [](double v) { return static_cast<float>(v); };
  KwMatrix r;
  r.v1 = {f32(r00), f32(r10), f32(r20)};
  r.v2 = {f32(r01), f32(r11), f32(r21)};
  r.v3 = {f32(r02), f32(r12), f32(r22)};
  r.off = {f32(-(r00 * ox + r01 * oy + r02 * oz)), f32(-(r10 * ox + r11 * oy + r12 * oz)),
           f32(-(r20 * ox + r21 * oy + r22 * oz))};
  return r;
}

KwVector axisLengths(const KwMatrix& m) {
  auto len = [](const KwVector& v) {
    const double x = v.x, y = v.y, z = v.z;
    return static_cast<float>(std::sqrt(x * x + y * y + z * z));
  };
  return KwVector{len(m.v1), len(m.v2), len(m.v3)};
}

bool sameAxesBits(const KwMatrix& a, const KwMatrix& b) {
  return std::memcmp(&a.v1, &b.v1, sizeof(KwVector) * 3) == 0;
}

KwVector matrixToHPB(const KwMatrix& m) { return toK(MatrixToHPB(toM(m))); }

KwVector optimalAngle(const KwVector& old, const KwVector& nw) { return toK(GetOptimalAngle(toV(old), toV(nw))); }

}  // namespace kwhost
