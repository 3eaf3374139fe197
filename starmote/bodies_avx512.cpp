#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace avx512_path {

void bodyForce(Body* bodies, float dt, int n) { scalar_path::bodyForce(bodies, dt, n); }
void integrate(Body* bodies, float dt, int n) { scalar_path::integrate(bodies, dt, n); }

}  // namespace avx512_path
