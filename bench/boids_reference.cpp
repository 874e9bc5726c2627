#include "boids_reference.h"

#include <cmath>

namespace kwbench {

Boids packedBoids(int n) {
  Boids b;
  for (int i = 0; i < n; ++i) {
    // A sunflower disc of radius ~300 round the target, headings spread.
    const float a = 2.39996323f * float(i), r = 30.0f * std::sqrt(float(i));
    b.px.push_back(r * std::cos(a));
    b.py.push_back(0.0f);
    b.pz.push_back(6000.0f + r * std::sin(a));
    b.vx.push_back(10.0f * std::cos(a + 1.0f));
    b.vy.push_back(0.0f);
    b.vz.push_back(10.0f * std::sin(a + 1.0f));
  }
  b.nvx.resize(n);
  b.nvy.resize(n);
  b.nvz.resize(n);
  b.targetZ = 6000.0f;
  for (int k = 0; k < 4; ++k) {
    b.obstacleX[k] = (float(k) - 1.5f) * 700.0f;
    b.obstacleZ[k] = 3000.0f + float(k % 3) * 400.0f;
    b.obstacleR[k] = 150.0f;
  }
  return b;
}

float boidsStep(Boids& b) {
  const int n = int(b.px.size());
  const float r2 = b.radius * b.radius;
  for (int i = 0; i < n; ++i) {
    float sx = 0, sy = 0, sz = 0, ax = 0, ay = 0, az = 0, cx = 0, cy = 0, cz = 0;
    int count = 0;
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      const float dx = b.px[i] - b.px[j], dy = b.py[i] - b.py[j], dz = b.pz[i] - b.pz[j];
      const float d2 = dx * dx + dy * dy + dz * dz;
      if (d2 > r2) continue;
      const float d = std::sqrt(d2);
      if (d > 0.0f) {
        const float w = (1.0f - d / b.radius) / d;  // unit push, weaker with distance
        sx += dx * w;
        sy += dy * w;
        sz += dz * w;
      }
      ax += b.vx[j];
      ay += b.vy[j];
      az += b.vz[j];
      cx += b.px[j];
      cy += b.py[j];
      cz += b.pz[j];
      ++count;
    }
    float fx = b.wSeparation * sx, fy = b.wSeparation * sy, fz = b.wSeparation * sz;
    if (count > 0) {
      const float inv = 1.0f / float(count);
      fx += b.wAlignment * (ax * inv - b.vx[i]) + b.wCohesion * (cx * inv - b.px[i]) * 0.01f;
      fy += b.wAlignment * (ay * inv - b.vy[i]) + b.wCohesion * (cy * inv - b.py[i]) * 0.01f;
      fz += b.wAlignment * (az * inv - b.vz[i]) + b.wCohesion * (cz * inv - b.pz[i]) * 0.01f;
    }
    // Seek: the unit direction to the target.
    const float tx = b.targetX - b.px[i], ty = b.targetY - b.py[i], tz = b.targetZ - b.pz[i];
    const float tl = std::sqrt(tx * tx + ty * ty + tz * tz);
    if (tl > 0.0f) {
      fx += b.wSeek * tx / tl;
      fy += b.wSeek * ty / tl;
      fz += b.wSeek * tz / tl;
    }
    // 8 probes fanned round the heading, each tested against every
    // obstacle circle; a probe that ends inside one pushes back along it.
    const float sp = std::sqrt(b.vx[i] * b.vx[i] + b.vz[i] * b.vz[i]);
    const float hx = sp > 0.0f ? b.vx[i] / sp : 0.0f, hz = sp > 0.0f ? b.vz[i] / sp : 1.0f;
    for (int k = 0; k < 8; ++k) {
      const float ang = (float(k) - 3.5f) * 0.25f, c = std::cos(ang), s = std::sin(ang);
      const float dx = c * hx - s * hz, dz = s * hx + c * hz;
      const float ex = b.px[i] + dx * 400.0f, ez = b.pz[i] + dz * 400.0f;
      for (int o = 0; o < 4; ++o) {
        const float ox = ex - b.obstacleX[o], oz = ez - b.obstacleZ[o];
        if (ox * ox + oz * oz < b.obstacleR[o] * b.obstacleR[o]) {
          fx -= b.wAvoid * dx;
          fz -= b.wAvoid * dz;
        }
      }
    }
    float nx = b.vx[i] + 0.05f * fx, ny = b.vy[i] + 0.05f * fy, nz = b.vz[i] + 0.05f * fz;
    const float nl = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (nl > b.maxSpeed) {
      const float k = b.maxSpeed / nl;
      nx *= k;
      ny *= k;
      nz *= k;
    }
    b.nvx[i] = nx;
    b.nvy[i] = ny;
    b.nvz[i] = nz;
  }
  float check = 0;
  for (int i = 0; i < n; ++i) {
    b.vx[i] = b.nvx[i];
    b.vy[i] = b.nvy[i];
    b.vz[i] = b.nvz[i];
    b.px[i] += b.vx[i];
    b.py[i] += b.vy[i];
    b.pz[i] += b.vz[i];
    check += b.px[i] + b.pz[i];
  }
  return check;
}

}  // namespace kwbench
