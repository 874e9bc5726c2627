// Scalar maths of the module. Each function takes the platform's double
// precision routine and rounds its result to a 32-bit Real, the way every
// single-precision step of the tag is defined.
#ifndef KW_C4D_MATH_H
#define KW_C4D_MATH_H

#include "c4d_platform.h"
#include "c4d_types.h"

static const LReal pi = 3.141592653589793;    // double pi, where a step compares in double
static const Real pi05 = 1.57079637f;         // float nearest pi/2
static const Real piR = 3.14159274f;          // float nearest pi
static const Real pi2R = 6.28318548f;         // float nearest 2 pi

inline Real Sin(Real x) { return static_cast<Real>(sin(static_cast<double>(x))); }
inline Real Cos(Real x) { return static_cast<Real>(cos(static_cast<double>(x))); }
inline Real ASin(Real x) { return static_cast<Real>(asin(static_cast<double>(x))); }
inline Real ACos(Real x) { return static_cast<Real>(acos(static_cast<double>(x))); }
inline Real ATan(Real x) { return static_cast<Real>(atan(static_cast<double>(x))); }
inline Real Sqrt(Real x) { return static_cast<Real>(sqrt(static_cast<double>(x))); }
// a * b bit for bit: the product of two floats is exact in double (48
// significant bits of 53, and no float product leaves double's range), so
// rounding it once gives the float product. Unlike the float multiply, it
// takes no microcode assist (some hundred cycles on x86) when an operand or
// the result is subnormal, as a bank easing towards 0 stays for good.
inline Real ExactProduct(Real a, Real b) {
  LReal x = static_cast<LReal>(a);
#if defined(__GNUC__) && defined(__SSE2__)
  // Compilers narrow a double product of two floats back to the float
  // multiply (the value is the same, so they may); an empty statement that
  // may change x keeps them from seeing that it came from a float.
  __asm__("" : "+x"(x));
#endif
  return static_cast<Real>(x * static_cast<LReal>(b));
}
inline Real FAbs(Real x) { return x < 0.0f ? -x : x; }
inline LReal FAbs(LReal x) { return x < 0.0 ? -x : x; }

inline Real Len(const Vector& v) { return Sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// v / |v|, or the zero vector for a vector of length 0.
inline Vector Normalize(const Vector& v) {
  Real l = Len(v);
  if (l == 0.0f) return Vector();
  return v * (1.0f / l);
}

#endif
