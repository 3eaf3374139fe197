// NEON force sums: the thin layer the tile scheme of force_tiles.inc needs,
// on 4 lanes. vsqrtq_f32 and vdivq_f32 round correctly, as sqrtf and '/' do.
#include <arm_neon.h>

#include <cstdint>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace neon_path {

namespace {

using Vec = float32x4_t;
constexpr int kLanes = 4;
// Rows between forming an inverse cube and adding its forces: none, until a
// delay is measured on ARM hardware (the emulator proves only exactness).
constexpr int kDelay = 0;

inline Vec load(const float* p) { return vld1q_f32(p); }
inline void store(float* p, Vec v) { vst1q_f32(p, v); }
inline Vec set1(float f) { return vdupq_n_f32(f); }
inline Vec zero() { return vdupq_n_f32(0.0f); }
inline Vec add(Vec a, Vec b) { return vaddq_f32(a, b); }
inline Vec sub(Vec a, Vec b) { return vsubq_f32(a, b); }
inline Vec mul(Vec a, Vec b) { return vmulq_f32(a, b); }
inline Vec div(Vec a, Vec b) { return vdivq_f32(a, b); }
inline Vec sqrt(Vec a) { return vsqrtq_f32(a); }

// Lane k keeps its old sum through a bit select.
inline Vec addOthers(Vec sum, int k, Vec term) {
  const uint32x4_t lane = {0, 1, 2, 3};
  return vbslq_f32(vceqq_u32(lane, vdupq_n_u32(static_cast<std::uint32_t>(k))), sum,
                   add(sum, term));
}

inline void transpose(Vec r[4]) {
  const float32x4x2_t a = vtrnq_f32(r[0], r[1]), b = vtrnq_f32(r[2], r[3]);
  r[0] = vcombine_f32(vget_low_f32(a.val[0]), vget_low_f32(b.val[0]));
  r[1] = vcombine_f32(vget_low_f32(a.val[1]), vget_low_f32(b.val[1]));
  r[2] = vcombine_f32(vget_high_f32(a.val[0]), vget_high_f32(b.val[0]));
  r[3] = vcombine_f32(vget_high_f32(a.val[1]), vget_high_f32(b.val[1]));
}

#include "starmote/force_tiles.inc"

}  // namespace

void forceSums(const BodyArrays& b, int n) { tiledForceSums(b, n); }

#include "starmote/bodies_integrate.inc"

}  // namespace neon_path
