// The maths of the transform model. Products use the module's own rule (and
// its single-precision operators); HPB conversions use the module's own
// orientation helpers, so host and module agree bit for bit.
#ifndef KWHOST_TRANSFORM_H
#define KWHOST_TRANSFORM_H

#include "c4d_hosttable.h"

namespace kwhost {

// Local matrix: offset pos; axes from (H, P, B) (in double precision, rounded
// to float), each times its scale component:
//   Z = (-sin H cos P, sin P, cos H cos P); h = (cos H, 0, sin H); Y0 = Z x h;
//   X = cos B h - sin B Y0; Y = Z x X.
KwMatrix matrixFromPSR(const KwVector& pos, const KwVector& hpb, const KwVector& scale);
// a x b, a applied after b (the module's product rule).
KwMatrix multiply(const KwMatrix& a, const KwMatrix& b);
// The affine inverse (double precision, rounded); identity for a singular matrix.
KwMatrix inverse(const KwMatrix& m);
// Lengths of v1, v2, v3.
KwVector axisLengths(const KwMatrix& m);
// Bit-for-bit equality of the three axes (offset ignored).
bool sameAxesBits(const KwMatrix& a, const KwMatrix& b);

// The module's MatrixToHPB and GetOptimalAngle.
KwVector matrixToHPB(const KwMatrix& m);
KwVector optimalAngle(const KwVector& old, const KwVector& nw);

}  // namespace kwhost

#endif
