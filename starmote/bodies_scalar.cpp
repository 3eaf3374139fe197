#include <cmath>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

// The portable path: the force loop exactly as the physics is written.
namespace scalar_path {

void bodyForce(Body* bodies, float dt, int n) {
  for (int i = 0; i < n; ++i) {
    Body& bi = bodies[i];
    float fx = 0.0f, fy = 0.0f, fz = 0.0f;
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      const Body& bj = bodies[j];
      const float dx = bj.x - bi.x, dy = bj.y - bi.y, dz = bj.z - bi.z;
      const float d2 = (dx * dx + dy * dy) + dz * dz;
      const float inv = 1.0f / std::sqrt(d2);
      const float inv3 = (inv * inv) * inv;
      const float s = (bj.mass * kG) * bi.mass;
      fx = fx + (dx * s) * inv3;
      fy = fy + (dy * s) * inv3;
      fz = fz + (dz * s) * inv3;
    }
    bi.vx = (fx * dt) / bi.mass + bi.vx;
    bi.vy = (fy * dt) / bi.mass + bi.vy;
    bi.vz = (fz * dt) / bi.mass + bi.vz;
  }
}

void integrate(Body* bodies, float dt, int n) {
  for (int i = 0; i < n; ++i) {
    Body& b = bodies[i];
    b.x = b.vx * dt + b.x;
    b.y = b.vy * dt + b.y;
    b.z = b.vz * dt + b.z;
  }
}

}  // namespace scalar_path
