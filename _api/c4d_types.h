// Basic types of the host SDK as the module uses them. All vector arithmetic
// is single precision: every operator below works on 32-bit floats only, so a
// build never widens an expression behind the reader's back.
#ifndef KW_C4D_TYPES_H
#define KW_C4D_TYPES_H

#include <stdint.h>

#include "c4d_hosttable.h"

typedef float Real;       // 32 bits
typedef double LReal;     // 64 bits, where a step says double precision
typedef int32_t LONG;     // 32-bit signed
typedef uint32_t ULONG;   // 32-bit unsigned
typedef int32_t Bool;     // 32-bit, TRUE non-zero, FALSE 0
typedef char CHAR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct Vector {
  Real x, y, z;

  Vector() : x(0.0f), y(0.0f), z(0.0f) {}
  explicit Vector(Real v) : x(v), y(v), z(v) {}
  Vector(Real ax, Real ay, Real az) : x(ax), y(ay), z(az) {}

  Vector& operator+=(const Vector& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  Vector& operator-=(const Vector& o) {
    x -= o.x;
    y -= o.y;
    z -= o.z;
    return *this;
  }
  Vector& operator*=(Real s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
};

inline Vector operator+(const Vector& a, const Vector& b) { return Vector(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vector operator-(const Vector& a, const Vector& b) { return Vector(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vector operator-(const Vector& a) { return Vector(-a.x, -a.y, -a.z); }
inline Vector operator*(const Vector& a, Real s) { return Vector(a.x * s, a.y * s, a.z * s); }
inline Vector operator*(Real s, const Vector& a) { return Vector(s * a.x, s * a.y, s * a.z); }
// Dot product, as the host SDK spells it.
inline Real operator*(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
// Cross product, as the host SDK spells it.
inline Vector operator%(const Vector& a, const Vector& b) {
  return Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline bool operator==(const Vector& a, const Vector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const Vector& a, const Vector& b) { return !(a == b); }

struct Matrix {
  Vector off, v1, v2, v3;

  Matrix() : off(), v1(1.0f, 0.0f, 0.0f), v2(0.0f, 1.0f, 0.0f), v3(0.0f, 0.0f, 1.0f) {}
  Matrix(const Vector& o, const Vector& a, const Vector& b, const Vector& c) : off(o), v1(a), v2(b), v3(c) {}
};

// A point through a matrix: off + v1*p.x + v2*p.y + v3*p.z.
inline Vector operator*(const Matrix& m, const Vector& p) { return m.off + m.v1 * p.x + m.v2 * p.y + m.v3 * p.z; }

// Product a x b, a applied after b.
inline Matrix operator*(const Matrix& a, const Matrix& b) {
  return Matrix(a * b.off, a.v1 * b.v1.x + a.v2 * b.v1.y + a.v3 * b.v1.z,
                a.v1 * b.v2.x + a.v2 * b.v2.y + a.v3 * b.v2.z, a.v1 * b.v3.x + a.v2 * b.v3.y + a.v3 * b.v3.z);
}

inline bool operator==(const Matrix& a, const Matrix& b) {
  return a.off == b.off && a.v1 == b.v1 && a.v2 == b.v2 && a.v3 == b.v3;
}

static_assert(sizeof(Vector) == sizeof(KwVector), "Vector must match the table's KwVector");
static_assert(sizeof(Matrix) == sizeof(KwMatrix), "Matrix must match the table's KwMatrix");

inline const KwVector* ToKw(const Vector* v) { return reinterpret_cast<const KwVector*>(v); }
inline KwVector* ToKw(Vector* v) { return reinterpret_cast<KwVector*>(v); }
inline const KwMatrix* ToKw(const Matrix* m) { return reinterpret_cast<const KwMatrix*>(m); }
inline KwMatrix* ToKw(Matrix* m) { return reinterpret_cast<KwMatrix*>(m); }

#endif
