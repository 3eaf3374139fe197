#include "starmote/bodies.hpp"

#include <cstdlib>

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

void bodyForce(Isa isa, Body* bodies, float dt, int n) {
  if (n <= 0) return;
  switch (isa) {
    case Isa::avx512:
      return avx512_path::bodyForce(bodies, dt, n);
    case Isa::avx2:
      return avx2_path::bodyForce(bodies, dt, n);
    case Isa::scalar:
      break;
  }
  scalar_path::bodyForce(bodies, dt, n);
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
