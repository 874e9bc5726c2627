// The module-wide table of agent records and the vision probe.
#include "Kestrelwood.h"

// Static storage: every field of every record is zero when the module loads.
TVistaHelper VistaHelper[MAX_AGENTS];

namespace {

// v / |v|, or the zero vector for a zero axis.
Vector UnitAxis(const Vector& v) {
  Real len = Len(v);
  if (len == 0.0f) return Vector();
  return v * (1.0f / len);
}

}  // namespace

// The probe rectangle in the agent's X-Z plane: from its origin, length
// ahead along the unit Z axis and halfWidth to each side along the unit X
// axis. The axes are normalised, so the probe ignores the agent's scale.
TVistaHelper Kestrelwood::CreaVistaHelper(Matrix mg, TVistaHelper rec, Real length, Real halfWidth) {
  Vector x = UnitAxis(mg.v1);
  Vector z = UnitAxis(mg.v3);
  rec.cornerRearLeft = mg.off - halfWidth * x;
  rec.cornerFrontLeft = mg.off - halfWidth * x + length * z;
  rec.cornerFrontRight = mg.off + halfWidth * x + length * z;
  rec.cornerRearRight = mg.off + halfWidth * x;
  return rec;
}
