#pragma once

// Per-instruction-set entry points behind starmote/bodies.hpp, each in its
// own file compiled with that instruction set's flags. n is at least 1.

struct Body;

#define STARMOTE_KERNELS(ns)                     \
  namespace ns {                                 \
  void bodyForce(Body* bodies, float dt, int n); \
  void integrate(Body* bodies, float dt, int n); \
  }

STARMOTE_KERNELS(scalar_path)
STARMOTE_KERNELS(avx2_path)
STARMOTE_KERNELS(avx512_path)

#undef STARMOTE_KERNELS
