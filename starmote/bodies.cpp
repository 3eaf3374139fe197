#include "starmote/bodies.hpp"

#include <cstdlib>

#include "common/buffer.hpp"
#include "starmote/bodies_isa.hpp"

void randomizeBodies(Body* bodies, int n) {
  static constexpr float Body::*kFields[] = {&Body::mass, &Body::x,  &Body::y, &Body::z,
                                             &Body::vx,   &Body::vy, &Body::vz};
  for (int i = 0; i < n; ++i) {
    for (float Body::*field : kFields) {
      // r / 2^31 in float: the conversion rounds, the scaling is exact.
      const float r = static_cast<float>(std::rand());
      bodies[i].*field = 2.0f * (r * 0x1p-31f) - 1.0f;
    }
  }
}

namespace {

// The struct-of-arrays copy the force kernels read, kept between calls so
// that the step loop allocates only on its first call or when n grows.
class Scratch {
 public:
  BodyArrays load(const Body* bodies, int n) {
    const std::size_t padded = (static_cast<std::size_t>(n) + 63) & ~std::size_t{63};
    if (padded > capacity_) {
      storage_ = Buffer(padded * kArrays * sizeof(float));  // zero-filled padding
      capacity_ = padded;
    }
    float* base = storage_.floats();
    float* column[kArrays];
    for (std::size_t a = 0; a < kArrays; ++a) column[a] = base + a * capacity_;
    for (int i = 0; i < n; ++i) {
      column[0][i] = bodies[i].x;
      column[1][i] = bodies[i].y;
      column[2][i] = bodies[i].z;
      column[3][i] = bodies[i].mass;
      column[4][i] = bodies[i].mass * kG;
    }
    return {column[0], column[1], column[2], column[3], column[4], column[5], column[6], column[7]};
  }

 private:
  static constexpr std::size_t kArrays = 8;
  Buffer storage_;
  std::size_t capacity_ = 0;
};

}  // namespace

void bodyForce(Isa isa, Body* bodies, float dt, int n) {
  if (n <= 0) return;
  static Scratch scratch;
  const BodyArrays arrays = scratch.load(bodies, n);
  switch (isa) {
    case Isa::avx512:
      avx512_path::forceSums(arrays, n);
      break;
    case Isa::avx2:
      avx2_path::forceSums(arrays, n);
      break;
    case Isa::scalar:
      scalar_path::forceSums(arrays, n);
      break;
  }
  for (int i = 0; i < n; ++i) {
    Body& b = bodies[i];
    b.vx = (arrays.fx[i] * dt) / b.mass + b.vx;
    b.vy = (arrays.fy[i] * dt) / b.mass + b.vy;
    b.vz = (arrays.fz[i] * dt) / b.mass + b.vz;
  }
}

void integrate(Isa isa, Body* bodies, float dt, int n) {
  if (n <= 0) return;
  switch (isa) {
    case Isa::avx512:
      return avx512_path::integrate(bodies, dt, n);
    case Isa::avx2:
      return avx2_path::integrate(bodies, dt, n);
    case Isa::scalar:
      break;
  }
  scalar_path::integrate(bodies, dt, n);
}

void bodyForce(Body* bodies, float dt, int n) { bodyForce(bestIsa(), bodies, dt, n); }
void integrate(Body* bodies, float dt, int n) { integrate(bestIsa(), bodies, dt, n); }
