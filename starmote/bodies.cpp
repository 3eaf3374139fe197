#include "starmote/bodies.hpp"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

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
// that the step loop allocates nothing once it has been reserved.
class Scratch {
 public:
  void reserve(int n) {
    const std::size_t padded = (static_cast<std::size_t>(n) + 63) & ~std::size_t{63};
    if (padded <= capacity_) return;
    // Zero-filled: the padding lanes must hold finite values, and the pages
    // are touched now rather than inside the first step.
    storage_.reset(new (std::align_val_t{kAlign}) float[padded * kArrays]());
    capacity_ = padded;
  }

  BodyArrays load(const Body* bodies, int n) {
    reserve(n);
    float* column[kArrays];
    for (std::size_t a = 0; a < kArrays; ++a) column[a] = storage_.get() + a * capacity_;
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
  static constexpr std::size_t kAlign = 64;  // whole-vector aligned loads
  struct Release {
    void operator()(float* p) const { ::operator delete[](p, std::align_val_t{kAlign}); }
  };
  std::unique_ptr<float[], Release> storage_;
  std::size_t capacity_ = 0;
};

Scratch& scratch() {
  static Scratch instance;
  return instance;
}

void forceSums(Isa isa, const BodyArrays& arrays, int n) {
  EDGESTAR_DISPATCH(isa, forceSums(arrays, n))
}

}  // namespace

void reserveBodyForce(int n) {
  if (n > 0) scratch().reserve(n);
}

void bodyForce(Isa isa, Body* bodies, float dt, int n) {
  if (n <= 0) return;
  const BodyArrays arrays = scratch().load(bodies, n);
  forceSums(isa, arrays, n);
  for (int i = 0; i < n; ++i) {
    Body& b = bodies[i];
    b.vx = (arrays.fx[i] * dt) / b.mass + b.vx;
    b.vy = (arrays.fy[i] * dt) / b.mass + b.vy;
    b.vz = (arrays.fz[i] * dt) / b.mass + b.vz;
  }
}

void integrate(Isa isa, Body* bodies, float dt, int n) {
  if (n <= 0) return;
  EDGESTAR_DISPATCH(isa, integrate(bodies, dt, n))
}

void bodyForce(Body* bodies, float dt, int n) { bodyForce(activeIsa(), bodies, dt, n); }
void integrate(Body* bodies, float dt, int n) { integrate(activeIsa(), bodies, dt, n); }
