// The reference a frame of the crowd tag is compared with: a generic O(n^2)
// boids step in single precision (separation, alignment, cohesion, seek and
// 8 obstacle probes per agent), the kind of loop a technical director would
// write by hand. Compiled on its own at -O2 -ffp-contract=off.
#ifndef KW_BENCH_BOIDS_REFERENCE_H
#define KW_BENCH_BOIDS_REFERENCE_H

#include <vector>

namespace kwbench {

struct Boids {
  std::vector<float> px, py, pz, vx, vy, vz;  // positions and velocities
  std::vector<float> nvx, nvy, nvz;           // the next velocities
  float targetX = 0, targetY = 0, targetZ = 0;
  float obstacleX[4], obstacleZ[4], obstacleR[4];  // circle obstacles on the ground
  float radius = 800, maxSpeed = 20;  // perception radius: the whole packed crowd, as the tag's alignment sees it
  float wSeparation = 20, wAlignment = 1, wCohesion = 0.5f, wSeek = 10, wAvoid = 30;
};

// n agents packed round the target (the dearest case: every pair in reach).
Boids packedBoids(int n);
// One step of every agent; returns a checksum of the positions.
float boidsStep(Boids& b);

}  // namespace kwbench

#endif
