// Rotation vectors (heading, pitch, bank) and matrices.
//
// Precision, step by step:
//  - MatrixRotY and VectorToHPB are single-precision routines: products,
//    sums and quotients in Real, each maths call through the platform's
//    double routine rounded back to Real (c4d_math.h). Their constants are
//    double (pi, the 0.00001 threshold), so a comparison or a sum with one of
//    them is made in double and then rounded, as a Real expression with a
//    double literal is.
//  - MatrixToHPB works in double from the matrix's float axes to the three
//    angles, which are rounded once at the end.
//  - GetOptimalAngle takes differences and candidates in Real, and reduces a
//    difference by whole turns in double (a float quotient by 2 pi would lose
//    the low bits of the angle).
#include "c4d_orientation.h"

#include "c4d_math.h"

namespace {

const LReal kPi05 = pi * 0.5;       // pi/2
const LReal kPi15 = pi * 1.5;       // 3 pi/2
const LReal kPi2 = pi * 2.0;        // 2 pi
const LReal kVertical = 0.00001;    // horizontal length below which a direction is vertical
// The one heading that is not the float nearest pi/2: one unit in the last
// place below 1.57079637f (heading of a direction straight along -X found
// on the z <= 0 branch).
const Real kPi05Below = 1.57079625f;

// Heading of a horizontal direction (x, z) of horizontal length l, double.
LReal HeadingD(LReal x, LReal z, LReal l) {
  LReal q = x / l;
  if (z > 0.0) {
    if (q >= 1.0) return -kPi05;
    if (q <= -1.0) return kPi05;
    return -asin(q);
  }
  if (q >= 1.0) return kPi15;
  if (q <= -1.0) return static_cast<LReal>(kPi05Below);
  return asin(q) + pi;
}

LReal ClampedACos(LReal c) {
  if (c >= 1.0) return 0.0;
  if (c <= -1.0) return pi;
  return acos(c);
}

// Whole turns off a difference: the value in [-pi, pi) that differs from d
// by a multiple of 2 pi.
Real ReduceTurns(Real d) {
  LReal x = static_cast<LReal>(d) / kPi2;
  LReal e = kPi2 * (x - floor(x));
  if (e >= pi) e -= kPi2;
  return static_cast<Real>(e);
}

struct Candidate {
  Vector v;
  Real cost;  // sum of the absolute turns from old
};

Candidate Nearest(const Vector& old, const Vector& nw) {
  Real eh = ReduceTurns(nw.x - old.x);
  Real ep = ReduceTurns(nw.y - old.y);
  Real eb = ReduceTurns(nw.z - old.z);
  Candidate c;
  c.v = Vector(old.x + eh, old.y + ep, old.z + eb);
  c.cost = FAbs(eh) + FAbs(ep) + FAbs(eb);
  return c;
}

}  // namespace

Matrix MatrixRotY(Real w) {
  Real c = Cos(w);
  Real s = Sin(w);
  return Matrix(Vector(0.0f, 0.0f, 0.0f), Vector(c, 0.0f, s), Vector(0.0f, 1.0f, 0.0f), Vector(-s, 0.0f, c));
}

Vector VectorToHPB(const Vector& v) {
  Real l = Sqrt(v.z * v.z + v.x * v.x);
  if (static_cast<LReal>(l) < kVertical) {
    return Vector(0.0f, static_cast<Real>(v.y > 0.0f ? kPi05 : -kPi05), 0.0f);
  }
  Real q = v.x / l;
  Real h;
  if (v.z > 0.0f) {
    if (q >= 1.0f)
      h = static_cast<Real>(-kPi05);
    else if (q <= -1.0f)
      h = static_cast<Real>(kPi05);
    else
      h = -ASin(q);
  } else {
    if (q >= 1.0f)
      h = static_cast<Real>(kPi15);
    else if (q <= -1.0f)
      h = kPi05Below;
    else
      h = static_cast<Real>(static_cast<LReal>(ASin(q)) + pi);
  }
  return Vector(h, ATan(v.y / l), 0.0f);
}

Vector MatrixToHPB(const Matrix& m) {
  const LReal zx = m.v3.x, zy = m.v3.y, zz = m.v3.z;

  // Unit X axis, or zero for a zero axis.
  LReal xx = m.v1.x, xy = m.v1.y, xz = m.v1.z;
  LReal xl = sqrt(xx * xx + xy * xy + xz * xz);
  if (xl != 0.0) {
    xx /= xl;
    xy /= xl;
    xz /= xl;
  } else {
    xx = xy = xz = 0.0;
  }

  LReal l = sqrt(zz * zz + zx * zx);
  if (l < kVertical) {
    // Z axis vertical: the heading is 0 and the bank is the X axis's angle
    // about it.
    LReal h = ClampedACos(xx);
    LReal b;
    if (zy > 0.0)
      b = xz >= 0.0 ? h : kPi2 - h;
    else
      b = xz > 0.0 ? kPi2 - h : h;
    return Vector(0.0f, static_cast<Real>(zy > 0.0 ? kPi05 : -kPi05), static_cast<Real>(b));
  }

  LReal h = HeadingD(zx, zz, l);
  if (h < 0.0) h += kPi2;
  LReal p = atan(zy / l);
  LReal g = ClampedACos(cos(h) * xx + sin(h) * xz);
  LReal b = xy > 0.0 ? kPi2 - g : g;
  return Vector(static_cast<Real>(h), static_cast<Real>(p), static_cast<Real>(b));
}

Vector GetOptimalAngle(const Vector& old, const Vector& nw) {
  Candidate first = Nearest(old, nw);
  Vector alt(static_cast<Real>(static_cast<LReal>(nw.x) + pi), static_cast<Real>(pi - static_cast<LReal>(nw.y)),
             static_cast<Real>(static_cast<LReal>(nw.z) + pi));
  Candidate second = Nearest(old, alt);
  return first.cost > second.cost ? second.v : first.v;
}
