// Conversions between rotation vectors (heading, pitch, bank in x, y, z,
// radians) and matrices, as the SDK's orientation helpers define them.
#ifndef KW_C4D_ORIENTATION_H
#define KW_C4D_ORIENTATION_H

#include "c4d_types.h"

// Rotation about Y by w: a positive angle turns the Z axis toward -X.
Matrix MatrixRotY(Real w);
// Heading and pitch of a direction; bank 0. Heading lies in [-pi/2, 3 pi/2].
Vector VectorToHPB(const Vector& v);
// Heading, pitch and bank of a matrix's axes; heading in [0, 2 pi).
Vector MatrixToHPB(const Matrix& m);
// The rotation equivalent to nw that lies nearest to old.
Vector GetOptimalAngle(const Vector& old, const Vector& nw);

#endif
