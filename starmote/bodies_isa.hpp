#pragma once

// Per-instruction-set force kernels behind starmote/bodies.hpp, each in its
// own file compiled with that instruction set's flags.

#include "common/isa_dispatch.hpp"

struct Body;

// The bodies as separate arrays, each padded with zeros to a multiple of 64
// elements so that whole vectors can always be loaded and stored.
struct BodyArrays {
  const float* x;
  const float* y;
  const float* z;
  const float* mass;
  const float* massG;  // mass·G, formed once per body: it rounds as in (m_j·G)·m_i
  float* fx;           // force sums, written for bodies 0 … n − 1
  float* fy;
  float* fz;
};

#define STARMOTE_KERNELS(ns)                                          \
  namespace ns {                                                      \
  /* For each body i, the sum over j != i in array order of      */   \
  /* (d·s)·inv3, with the arithmetic of the literal loop.        */ \
  void forceSums(const BodyArrays& bodies, int n);                    \
  void integrate(Body* bodies, float dt, int n);                      \
  }

EDGESTAR_EACH_PATH(STARMOTE_KERNELS)

#undef STARMOTE_KERNELS
