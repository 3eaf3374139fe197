#include <cmath>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

// The portable path: the force loop exactly as the physics is written.
namespace scalar_path {

void forceSums(const BodyArrays& b, int n) {
  for (int i = 0; i < n; ++i) {
    float fx = 0.0f, fy = 0.0f, fz = 0.0f;
    for (int j = 0; j < n; ++j) {
      if (j == i) continue;
      const float dx = b.x[j] - b.x[i], dy = b.y[j] - b.y[i], dz = b.z[j] - b.z[i];
      const float d2 = (dx * dx + dy * dy) + dz * dz;
      const float inv = 1.0f / std::sqrt(d2);
      const float inv3 = (inv * inv) * inv;
      const float s = b.massG[j] * b.mass[i];
      fx = fx + (dx * s) * inv3;
      fy = fy + (dy * s) * inv3;
      fz = fz + (dz * s) * inv3;
    }
    b.fx[i] = fx;
    b.fy[i] = fy;
    b.fz[i] = fz;
  }
}

#include "starmote/bodies_integrate.inc"

}  // namespace scalar_path
