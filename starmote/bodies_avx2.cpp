// AVX2 force sums: the thin layer the tile scheme of force_tiles.inc needs,
// on 8 lanes. Only intrinsics and plain loops live in this file, all with
// internal linkage: an inline library function compiled here could be picked
// by the linker for callers on CPUs without AVX2.
#include <immintrin.h>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

namespace avx2_path {

namespace {

using Vec = __m256;
constexpr int kLanes = 8;
// Rows between forming an inverse cube and adding its forces, its
// differences kept meanwhile. With 16 registers, one row's differences are
// all that fit beside the two tiles' sums: at 2 the compiler spilled four
// times as many vectors to the stack, and 0 to 4 ran alike on Zen 4.
constexpr int kDelay = 1;

inline Vec load(const float* p) { return _mm256_load_ps(p); }
inline void store(float* p, Vec v) { _mm256_store_ps(p, v); }
inline Vec set1(float f) { return _mm256_set1_ps(f); }
inline Vec zero() { return _mm256_setzero_ps(); }
inline Vec add(Vec a, Vec b) { return _mm256_add_ps(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_ps(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm256_mul_ps(a, b); }
inline Vec div(Vec a, Vec b) { return _mm256_div_ps(a, b); }
inline Vec sqrt(Vec a) { return _mm256_sqrt_ps(a); }

// Lane k keeps its old sum through a blend.
inline Vec addOthers(Vec sum, int k, Vec term) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const Vec self = _mm256_castsi256_ps(_mm256_cmpeq_epi32(lane, _mm256_set1_epi32(k)));
  return _mm256_blendv_ps(add(sum, term), sum, self);
}

// Transposes an 8×8 block held as 8 rows.
inline void transpose(Vec r[8]) {
  Vec t[8], u[8];
#pragma GCC unroll 8
  for (int k = 0; k < 8; k += 2) {
    t[k] = _mm256_unpacklo_ps(r[k], r[k + 1]);
    t[k + 1] = _mm256_unpackhi_ps(r[k], r[k + 1]);
  }
#pragma GCC unroll 8
  for (int k = 0; k < 8; k += 4) {
    u[k] = _mm256_shuffle_ps(t[k], t[k + 2], 0x44);
    u[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], 0xEE);
    u[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0x44);
    u[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], 0xEE);
  }
#pragma GCC unroll 8
  for (int k = 0; k < 4; ++k) {
    r[k] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x20);
    r[k + 4] = _mm256_permute2f128_ps(u[k], u[k + 4], 0x31);
  }
}

#include "starmote/force_tiles.inc"

}  // namespace

void forceSums(const BodyArrays& b, int n) { tiledForceSums(b, n); }

#include "starmote/bodies_integrate.inc"

}  // namespace avx2_path
