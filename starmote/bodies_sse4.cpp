// SSE4 force sums: the thin layer the tile scheme of force_tiles.inc needs,
// on 4 lanes. Only intrinsics and plain loops live in this file, all with
// internal linkage: an inline library function compiled here could be picked
// by the linker for callers on CPUs without SSE4.
#include <immintrin.h>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace sse4_path {

namespace {

using Vec = __m128;
constexpr int kLanes = 4;
// Rows between forming an inverse cube and adding its forces: none; 1 to 3
// measured no faster on Zen 5.
constexpr int kDelay = 0;

inline Vec load(const float* p) { return _mm_load_ps(p); }
inline void store(float* p, Vec v) { _mm_store_ps(p, v); }
inline Vec set1(float f) { return _mm_set1_ps(f); }
inline Vec zero() { return _mm_setzero_ps(); }
inline Vec add(Vec a, Vec b) { return _mm_add_ps(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm_sub_ps(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm_mul_ps(a, b); }
inline Vec div(Vec a, Vec b) { return _mm_div_ps(a, b); }
inline Vec sqrt(Vec a) { return _mm_sqrt_ps(a); }

// Lane k keeps its old sum through a blend.
inline Vec addOthers(Vec sum, int k, Vec term) {
  const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
  const Vec self = _mm_castsi128_ps(_mm_cmpeq_epi32(lane, _mm_set1_epi32(k)));
  return _mm_blendv_ps(add(sum, term), sum, self);
}

inline void transpose(Vec r[4]) { _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]); }

#include "starmote/force_tiles.inc"

}  // namespace

void forceSums(const BodyArrays& b, int n) { tiledForceSums(b, n); }

#include "starmote/bodies_integrate.inc"

}  // namespace sse4_path
