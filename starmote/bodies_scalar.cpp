// The portable path. Each unordered pair's root and division, the costly
// part, are done once and serve both bodies; every body still adds its
// partners in array order. Plain loops rather than the tile scheme on one
// lane: that measured slower here, its software pipelining only adding work
// without a second unit to overlap. Each stage is a loop of its own over a
// batch of partners, elementwise but for body i's sums, so that a compiler
// can vectorize them where the architecture's baseline has vectors (SSE2 on
// x86-64); every operation is still rounded on its own, in the same order.
#include <cmath>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace scalar_path {

namespace {

// Partners handled together: their inverse cubes are formed first, so the
// long chain of a root and a division never holds up the force sums, and a
// whole batch has a trip count known when compiled.
constexpr int kBatch = 16;

struct Pairs {
  float dx[kBatch], dy[kBatch], dz[kBatch], inv3[kBatch];
};

// d and inv3 = (inv·inv)·inv, inv = 1/√d2, d2 = (dx·dx + dy·dy) + dz·dz, of
// body i with bodies from … from + count − 1.
inline void formPairs(const BodyArrays& b, int i, int from, int count, Pairs& p) {
  for (int k = 0; k < count; ++k) {
    const int j = from + k;
    p.dx[k] = b.x[j] - b.x[i];
    p.dy[k] = b.y[j] - b.y[i];
    p.dz[k] = b.z[j] - b.z[i];
    const float d2 = (p.dx[k] * p.dx[k] + p.dy[k] * p.dy[k]) + p.dz[k] * p.dz[k];
    const float inv = 1.0f / std::sqrt(d2);
    p.inv3[k] = (inv * inv) * inv;
  }
}

// Body i adds bodies from … from + count − 1, in order; each of them adds
// body i, after every body before i and before any after it. The second
// body's d is formed anew rather than negated, as the literal loop forms it:
// negating would flip the sign of the NaN a coincident pair spreads. Where
// positions are already NaNs of different payloads, the shared inverse cube
// carries the first body's, so the second may get another NaN.
inline void addPairs(const BodyArrays& b, int i, int from, int count, const Pairs& p, float& sx,
                     float& sy, float& sz) {
  for (int k = 0; k < count; ++k) {
    const float si = b.massG[from + k] * b.mass[i];
    sx = sx + (p.dx[k] * si) * p.inv3[k];
    sy = sy + (p.dy[k] * si) * p.inv3[k];
    sz = sz + (p.dz[k] * si) * p.inv3[k];
  }
  for (int k = 0; k < count; ++k) {
    const int j = from + k;
    const float sj = b.massG[i] * b.mass[j];
    b.fx[j] = b.fx[j] + ((b.x[i] - b.x[j]) * sj) * p.inv3[k];
    b.fy[j] = b.fy[j] + ((b.y[i] - b.y[j]) * sj) * p.inv3[k];
    b.fz[j] = b.fz[j] + ((b.z[i] - b.z[j]) * sj) * p.inv3[k];
  }
}

}  // namespace

void forceSums(const BodyArrays& b, int n) {
  for (int i = 0; i < n; ++i) b.fx[i] = b.fy[i] = b.fz[i] = 0.0f;
  for (int i = 0; i < n; ++i) {
    // Body i has added the bodies before it, in their rows; now the rest.
    float sx = b.fx[i], sy = b.fy[i], sz = b.fz[i];
    Pairs p;
    int from = i + 1;
    for (; from + kBatch <= n; from += kBatch) {
      formPairs(b, i, from, kBatch, p);
      addPairs(b, i, from, kBatch, p, sx, sy, sz);
    }
    formPairs(b, i, from, n - from, p);
    addPairs(b, i, from, n - from, p, sx, sy, sz);
    b.fx[i] = sx;
    b.fy[i] = sy;
    b.fz[i] = sz;
  }
}

#include "starmote/bodies_integrate.inc"

}  // namespace scalar_path
