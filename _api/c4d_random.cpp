#include "c4d_random.h"

ULONG Random::Step() {
  // Unsigned arithmetic wraps modulo 2^32; then keep 31 bits.
  seed_ = ((seed_ + 1u) * 69069u) & 0x7fffffffu;
  return seed_;
}

Real Random::Get01() {
  const Real scale = 4.656613e-10f;  // 2^-31 as the SDK writes it
  return static_cast<Real>(Step()) * scale;
}

Real Random::Get11() {
  Real x = Get01();
  return static_cast<Real>(2.0 * static_cast<LReal>(x) - 1.0);
}
