#pragma once

#include "starmote/bodies.hpp"

// The physics written out line by line, in single precision and in the order
// of the formulas; production kernels must match it bit for bit.
namespace oracle {

// The force sums of body i over every other body, before they meet dt.
struct Force {
  float fx, fy, fz;
};
Force forceOn(const Body* bodies, int i, int n);

void bodyForce(Body* bodies, float dt, int n);
void integrate(Body* bodies, float dt, int n);

}  // namespace oracle
