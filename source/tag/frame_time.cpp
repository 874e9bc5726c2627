#include "frame_time.h"

namespace {

Real FloorR(Real x) { return static_cast<Real>(floor(static_cast<LReal>(x))); }

LONG TruncateToLong(LReal q) {
  if (!(q == q)) return INT32_MIN;
  if (q >= 2147483647.0) return INT32_MAX;
  if (q <= -2147483648.0) return INT32_MIN;
  return static_cast<LONG>(q);
}

}  // namespace

LONG FrameOf(const BaseTime& time, LONG fps) {
  Real product = static_cast<Real>(fps) * static_cast<Real>(time.GetNumerator());
  Real num = FloorR(product);
  Real den = FloorR(static_cast<Real>(time.GetDenominator()));
  return TruncateToLong(static_cast<LReal>(num) / static_cast<LReal>(den));
}
