// AVX-512 force sums: the thin layer the tile scheme of force_tiles.inc needs.
// Only intrinsics and plain loops live in this file, all with internal
// linkage: an inline library function compiled here could be picked by the
// linker for callers on CPUs without AVX-512.
#include <immintrin.h>

#include "starmote/bodies.hpp"
#include "starmote/bodies_isa.hpp"

#ifndef STARMOTE_AVX512_PATH
#define STARMOTE_AVX512_PATH avx512_path
#endif
namespace STARMOTE_AVX512_PATH {

namespace {

using Vec = __m512;
constexpr int kLanes = 16;
// Rows between forming an inverse cube and adding its forces, its
// differences kept meanwhile. On Zen 4, 2 to 6 ran alike, 10-12% faster than
// 6 with the differences formed again; with them formed again, Zen 5 ran 5
// to 12 alike, 7-9% faster than none, so 6 stays.
constexpr int kDelay = 6;

inline Vec load(const float* p) { return _mm512_load_ps(p); }
inline void store(float* p, Vec v) { _mm512_store_ps(p, v); }
inline Vec set1(float f) { return _mm512_set1_ps(f); }
inline Vec zero() { return _mm512_setzero_ps(); }
inline Vec add(Vec a, Vec b) { return _mm512_add_ps(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm512_sub_ps(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm512_mul_ps(a, b); }
inline Vec div(Vec a, Vec b) { return _mm512_div_ps(a, b); }
inline Vec sqrt(Vec a) { return _mm512_sqrt_ps(a); }

// A masked add leaves lane k as it was.
inline Vec addOthers(Vec sum, int k, Vec term) {
  return _mm512_mask_add_ps(sum, static_cast<__mmask16>(~(1u << k)), sum, term);
}

// Transposes a 16×16 block held as 16 rows.
inline void transpose(Vec r[16]) {
  Vec t[16];
#pragma GCC unroll 16
  for (int k = 0; k < 16; k += 2) {
    t[k] = _mm512_unpacklo_ps(r[k], r[k + 1]);
    t[k + 1] = _mm512_unpackhi_ps(r[k], r[k + 1]);
  }
#pragma GCC unroll 16
  for (int k = 0; k < 16; k += 4) {
    const __m512d a = _mm512_castps_pd(t[k]), b = _mm512_castps_pd(t[k + 1]),
                  c = _mm512_castps_pd(t[k + 2]), d = _mm512_castps_pd(t[k + 3]);
    r[k] = _mm512_castpd_ps(_mm512_unpacklo_pd(a, c));
    r[k + 1] = _mm512_castpd_ps(_mm512_unpackhi_pd(a, c));
    r[k + 2] = _mm512_castpd_ps(_mm512_unpacklo_pd(b, d));
    r[k + 3] = _mm512_castpd_ps(_mm512_unpackhi_pd(b, d));
  }
#pragma GCC unroll 16
  for (int h = 0; h < 16; h += 8) {
#pragma GCC unroll 16
    for (int k = 0; k < 4; ++k) {
      t[h + k] = _mm512_shuffle_f32x4(r[h + k], r[h + k + 4], 0x88);
      t[h + k + 4] = _mm512_shuffle_f32x4(r[h + k], r[h + k + 4], 0xdd);
    }
  }
#pragma GCC unroll 16
  for (int k = 0; k < 8; ++k) {
    r[k] = _mm512_shuffle_f32x4(t[k], t[k + 8], 0x88);
    r[k + 8] = _mm512_shuffle_f32x4(t[k], t[k + 8], 0xdd);
  }
}

#include "starmote/force_tiles.inc"

}  // namespace

void forceSums(const BodyArrays& b, int n) { tiledForceSums(b, n); }

#include "starmote/bodies_integrate.inc"

}  // namespace STARMOTE_AVX512_PATH
