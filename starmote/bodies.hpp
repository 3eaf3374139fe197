#pragma once

#include "common/cpu.hpp"

struct Body {
  float mass, x, y, z, vx, vy, vz;
};
static_assert(sizeof(Body) == 28, "a body is seven packed floats");

// Gravitational constant, in single precision (bit pattern 0x2E92C348).
inline constexpr float kG = 6.674e-11f;

// Fills every field of every body, in field order, from the unseeded std::rand.
void randomizeBodies(Body* bodies, int n);
// Adds one step of all-pairs gravitational acceleration to every velocity.
void bodyForce(Body* bodies, float dt, int n);
// Advances every position by its velocity times dt.
void integrate(Body* bodies, float dt, int n);
// Reserves the force step's working copy for up to n bodies, so that
// bodyForce allocates nothing; bodyForce reserves it itself otherwise.
// Throws std::bad_alloc when the memory cannot be had.
void reserveBodyForce(int n);

// The same kernels on a chosen instruction set. Every result that is not a
// NaN is bit-identical to the literal scalar loops', and a NaN stays a NaN;
// where NaNs of different payloads meet (positions already NaN, which the
// program's own bodies never are) its payload and sign may differ. The
// functions above run on activeIsa(): the fastest this CPU has, unless a
// test chose another.
void bodyForce(Isa isa, Body* bodies, float dt, int n);
void integrate(Isa isa, Body* bodies, float dt, int n);
