#include "export/view_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace kwhost::view {
namespace {

using D3 = std::array<double, 3>;

D3 sub(const D3& a, const D3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
D3 cross(const D3& a, const D3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const D3& a, const D3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
D3 toD(const Vec3& v) { return {v[0], v[1], v[2]}; }

// Unit vector, or zero for a vector of (almost) no length.
D3 unit(const D3& v) {
  const double l = std::sqrt(dot(v, v));
  if (!(l > 1e-30)) return {0.0, 0.0, 0.0};
  return {v[0] / l, v[1] / l, v[2] / l};
}

void grow(Vec3* lo, Vec3* hi, const Vec3& p) {
  for (int k = 0; k < 3; ++k) {
    (*lo)[k] = std::min((*lo)[k], p[k]);
    (*hi)[k] = std::max((*hi)[k], p[k]);
  }
}

}  // namespace

Vec3 toView(const Vec3& p) { return {p[0], p[1], -p[2]}; }

Vec3 placeToView(const Mat12& m, const Vec3& p) {
  // off + v1 x + v2 y + v3 z, in double so that far-off terrains keep detail.
  D3 w;
  for (int k = 0; k < 3; ++k) {
    w[k] = double(m[k]) + double(m[3 + k]) * p[0] + double(m[6 + k]) * p[1] + double(m[9 + k]) * p[2];
  }
  return toView({float(w[0]), float(w[1]), float(w[2])});
}

bool finite(const Mat12& m) {
  return std::all_of(m.begin(), m.end(), [](float v) { return std::isfinite(v); });
}

Quat rotationToView(const Mat12& m) {
  // Columns of S R S: each axis mirrored in z, and the third axis negated.
  D3 x = unit({m[3], m[4], -double(m[5])});
  D3 y = unit({m[6], m[7], -double(m[8])});
  D3 z = unit({-double(m[9]), -double(m[10]), m[11]});
  if (dot(x, x) == 0.0 || dot(y, y) == 0.0 || dot(z, z) == 0.0) return {0.0, 0.0, 0.0, 1.0};
  // r[row][col]
  const double r00 = x[0], r10 = x[1], r20 = x[2];
  const double r01 = y[0], r11 = y[1], r21 = y[2];
  const double r02 = z[0], r12 = z[1], r22 = z[2];
  Quat q;
  const double trace = r00 + r11 + r22;
  if (trace > 0.0) {
    const double s = std::sqrt(trace + 1.0) * 2.0;
    q = {(r21 - r12) / s, (r02 - r20) / s, (r10 - r01) / s, 0.25 * s};
  } else if (r00 > r11 && r00 > r22) {
    const double s = std::sqrt(1.0 + r00 - r11 - r22) * 2.0;
    q = {0.25 * s, (r01 + r10) / s, (r02 + r20) / s, (r21 - r12) / s};
  } else if (r11 > r22) {
    const double s = std::sqrt(1.0 + r11 - r00 - r22) * 2.0;
    q = {(r01 + r10) / s, 0.25 * s, (r12 + r21) / s, (r02 - r20) / s};
  } else {
    const double s = std::sqrt(1.0 + r22 - r00 - r11) * 2.0;
    q = {(r02 + r20) / s, (r12 + r21) / s, 0.25 * s, (r10 - r01) / s};
  }
  const double l = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  if (!(l > 1e-12) || !std::isfinite(l)) return {0.0, 0.0, 0.0, 1.0};
  return {q[0] / l, q[1] / l, q[2] / l, q[3] / l};
}

Quat sameHemisphere(const Quat& q, const Quat& prev) {
  const double d = q[0] * prev[0] + q[1] * prev[1] + q[2] * prev[2] + q[3] * prev[3];
  if (d >= 0.0) return q;
  return {-q[0], -q[1], -q[2], -q[3]};
}

Result<ViewMesh> terrainToView(const RecordedMesh& mesh) {
  const size_t n = mesh.points.size();
  if (mesh.tris.size() % 3 != 0) {
    return fail("terrain '" + mesh.name + "': " + std::to_string(mesh.tris.size()) +
             " triangle indices, not a multiple of 3");
  }
  for (size_t i = 0; i < mesh.tris.size(); ++i) {
    if (mesh.tris[i] >= n) {
      return fail("terrain '" + mesh.name + "': triangle " + std::to_string(i / 3) + " refers to point " +
               std::to_string(mesh.tris[i]) + " of " + std::to_string(n));
    }
  }
  ViewMesh view;
  view.positions.resize(n);
  const float inf = std::numeric_limits<float>::infinity();
  view.min = {inf, inf, inf};
  view.max = {-inf, -inf, -inf};
  for (size_t i = 0; i < n; ++i) {
    view.positions[i] = placeToView(mesh.global, mesh.points[i]);
    if (!std::isfinite(view.positions[i][0]) || !std::isfinite(view.positions[i][1]) ||
        !std::isfinite(view.positions[i][2])) {
      return fail("terrain '" + mesh.name + "': point " + std::to_string(i) + " is not a finite number");
    }
    grow(&view.min, &view.max, view.positions[i]);
  }
  // The mirror reverses the winding; a mirroring global matrix reverses it
  // once more.
  const D3 a1 = toD({mesh.global[3], mesh.global[4], mesh.global[5]});
  const D3 a2 = toD({mesh.global[6], mesh.global[7], mesh.global[8]});
  const D3 a3 = toD({mesh.global[9], mesh.global[10], mesh.global[11]});
  const bool mirrored = dot(cross(a1, a2), a3) < 0.0;
  view.indices.resize(mesh.tris.size());
  for (size_t t = 0; t < mesh.tris.size(); t += 3) {
    view.indices[t] = mesh.tris[t];
    view.indices[t + 1] = mirrored ? mesh.tris[t + 1] : mesh.tris[t + 2];
    view.indices[t + 2] = mirrored ? mesh.tris[t + 2] : mesh.tris[t + 1];
  }
  std::vector<D3> acc(n, D3{0.0, 0.0, 0.0});
  for (size_t t = 0; t < view.indices.size(); t += 3) {
    const uint32_t i0 = view.indices[t], i1 = view.indices[t + 1], i2 = view.indices[t + 2];
    const D3 p0 = toD(view.positions[i0]);
    // Twice the area times the unit normal: larger triangles weigh more.
    const D3 c = cross(sub(toD(view.positions[i1]), p0), sub(toD(view.positions[i2]), p0));
    for (uint32_t i : {i0, i1, i2}) {
      for (int k = 0; k < 3; ++k) acc[i][k] += c[k];
    }
  }
  view.normals.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const D3 u = unit(acc[i]);
    view.normals[i] = dot(u, u) == 0.0 ? Vec3{0.0f, 1.0f, 0.0f} : Vec3{float(u[0]), float(u[1]), float(u[2])};
  }
  return view;
}

Marker agentMarker(float length) {
  // In the agent's own scene frame: tip ahead on +Z, a base of four points
  // behind it, higher above the agent than below so that bank shows.
  const double L = length;
  const D3 tip{0.0, 0.0, L};
  const D3 base[4] = {{0.4 * L, 0.0, -0.5 * L}, {0.0, 0.3 * L, -0.5 * L}, {-0.4 * L, 0.0, -0.5 * L},
                      {0.0, -0.1 * L, -0.5 * L}};
  const D3 centre{0.0, 0.05 * L, -0.25 * L};
  std::vector<std::array<D3, 3>> tris;
  for (int i = 0; i < 4; ++i) tris.push_back({tip, base[i], base[(i + 1) % 4]});
  tris.push_back({base[0], base[1], base[2]});
  tris.push_back({base[0], base[2], base[3]});
  Marker mk;
  for (auto& t : tris) {
    std::array<Vec3, 3> v;
    for (int k = 0; k < 3; ++k) v[k] = toView({float(t[k][0]), float(t[k][1]), float(t[k][2])});
    D3 n = cross(sub(toD(v[1]), toD(v[0])), sub(toD(v[2]), toD(v[0])));
    const D3 mid{(double(v[0][0]) + v[1][0] + v[2][0]) / 3.0, (double(v[0][1]) + v[1][1] + v[2][1]) / 3.0,
                 (double(v[0][2]) + v[1][2] + v[2][2]) / 3.0};
    // Counter-clockwise seen from outside, the front face in glTF.
    if (dot(n, sub(mid, toD(toView({float(centre[0]), float(centre[1]), float(centre[2])})))) < 0.0) {
      std::swap(v[1], v[2]);
      n = {-n[0], -n[1], -n[2]};
    }
    const D3 u = unit(n);
    for (int k = 0; k < 3; ++k) {
      mk.positions.push_back(v[k]);
      mk.normals.push_back({float(u[0]), float(u[1]), float(u[2])});
    }
  }
  return mk;
}

float markerLength(const RunRecord& run) {
  const float inf = std::numeric_limits<float>::infinity();
  Vec3 lo{inf, inf, inf}, hi{-inf, -inf, -inf};
  for (const FrameRecord& f : run.frames) {
    for (const AgentState& a : f.agents) {
      if (finite(a.global)) grow(&lo, &hi, {a.global[0], a.global[1], a.global[2]});
    }
  }
  for (const RecordedMesh& m : run.terrains) {
    for (const Vec3& p : m.points) {
      const Vec3 w = placeToView(m.global, p);
      if (std::isfinite(w[0]) && std::isfinite(w[1]) && std::isfinite(w[2])) grow(&lo, &hi, w);
    }
  }
  float extent = 0.0f;
  for (int k = 0; k < 3; ++k) {
    if (hi[k] >= lo[k]) extent = std::max(extent, hi[k] - lo[k]);
  }
  return std::max(extent / 60.0f, 1e-3f);
}

}  // namespace kwhost::view
