// The inverse of a matrix taken as an affine transform.
#ifndef KW_AFFINE_INVERSE_H
#define KW_AFFINE_INVERSE_H

#include "c4d.h"

// The inverse of m's 3x3 axis part with the offset that undoes m's offset,
// computed in double and rounded to Real once per entry; the identity when
// the determinant of the axis part is exactly 0.
Matrix AffineInverse(const Matrix& m);

// The axis part of m applied to the direction d (no offset).
inline Vector ApplyAxes(const Matrix& m, const Vector& d) { return m.v1 * d.x + m.v2 * d.y + m.v3 * d.z; }

#endif
