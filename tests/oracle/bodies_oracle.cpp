#include "tests/oracle/bodies_oracle.hpp"

#include <cmath>

namespace oracle {

Force forceOn(const Body* bodies, int i, int n) {
  const float G = 6.674e-11f;
  Force f = {0.0f, 0.0f, 0.0f};
  for (int j = 0; j < n; ++j) {
    if (j == i) continue;
    float dx = bodies[j].x - bodies[i].x;
    float dy = bodies[j].y - bodies[i].y;
    float dz = bodies[j].z - bodies[i].z;
    float d2 = dx * dx;
    d2 = d2 + dy * dy;
    d2 = d2 + dz * dz;
    float inv = sqrtf(d2);
    inv = 1.0f / inv;
    float inv3 = inv * inv;
    inv3 = inv3 * inv;
    float s = bodies[j].mass * G;
    s = s * bodies[i].mass;
    f.fx = f.fx + (dx * s) * inv3;
    f.fy = f.fy + (dy * s) * inv3;
    f.fz = f.fz + (dz * s) * inv3;
  }
  return f;
}

void bodyForce(Body* bodies, float dt, int n) {
  for (int i = 0; i < n; ++i) {
    const Force f = forceOn(bodies, i, n);
    bodies[i].vx = (f.fx * dt) / bodies[i].mass + bodies[i].vx;
    bodies[i].vy = (f.fy * dt) / bodies[i].mass + bodies[i].vy;
    bodies[i].vz = (f.fz * dt) / bodies[i].mass + bodies[i].vz;
  }
}

void integrate(Body* bodies, float dt, int n) {
  for (int i = 0; i < n; ++i) {
    bodies[i].x = bodies[i].vx * dt + bodies[i].x;
    bodies[i].y = bodies[i].vy * dt + bodies[i].y;
    bodies[i].z = bodies[i].vz * dt + bodies[i].z;
  }
}

}  // namespace oracle
