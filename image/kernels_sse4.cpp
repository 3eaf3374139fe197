// SSE4 layer of the image stages (x86-64-v2: SSSE3, SSE4.1, SSE4.2, POPCNT),
// for x86-64 CPUs without AVX2. Only intrinsics and plain loops live in this
// file, all with internal linkage: an inline library function compiled here
// could be picked by the linker for callers on CPUs without SSE4.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "image/kernels_isa.hpp"

namespace sse4_path {
namespace {

using DVec = __m128d;
inline DVec set1D(double d) { return _mm_set1_pd(d); }
inline DVec addD(DVec a, DVec b) { return _mm_add_pd(a, b); }
// Without FMA: x − 2^52, from x = 2^52 + b, is exactly b, so the product is
// b·w rounded once.
inline DVec exactProduct(DVec biased, DVec w, DVec) {
  return _mm_mul_pd(_mm_sub_pd(biased, _mm_set1_pd(0x1p52)), w);
}

// 4 pixels from a 16-byte load whose bytes 12 … 15 are replaced by
// 00 00 30 43; part 0 holds pixels 0 and 1, part 1 pixels 2 and 3, and a
// byte shuffle per part and channel builds each quadword's 2^52 + b.
class Gray {
 public:
  static constexpr std::size_t kPixels = 4, kBytes = 16;
  static constexpr int kParts = 2;
  using Pixels = __m128i;
  Gray() {
    const char z = -1;
    for (int p = 0; p < 2; ++p) {
      for (int c = 0; c < 3; ++c) {
        const auto b = static_cast<char>(6 * p + c);
        shuffle_[p][c] = _mm_setr_epi8(b, z, z, z, z, z, 14, 15, static_cast<char>(b + 3), z, z, z,
                                       z, z, 14, 15);
      }
    }
  }
  Pixels load(const std::uint8_t* src) const {
    return _mm_insert_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), 0x43300000, 3);
  }
  DVec biased(Pixels p, int part, int channel) const {
    return _mm_castsi128_pd(_mm_shuffle_epi8(p, shuffle_[part][channel]));
  }
  void store(float* dst, const DVec levels[2]) const {
    _mm_storeu_ps(dst, _mm_movelh_ps(_mm_cvtpd_ps(levels[0]), _mm_cvtpd_ps(levels[1])));
  }

 private:
  __m128i shuffle_[2][3];
};

using FVec = __m128;
constexpr int kLanes = 4;
inline FVec loadF(const float* p) { return _mm_loadu_ps(p); }
inline FVec addF(FVec a, FVec b) { return _mm_add_ps(a, b); }
inline FVec subF(FVec a, FVec b) { return _mm_sub_ps(a, b); }
// 4·mid is exact, so the separate subtraction rounds once, like a fused one.
inline FVec fourTimesMinus(FVec mid, FVec t) {
  return _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(4.0f), mid), t);
}

constexpr int kEdgeParts = 4, kEdgeAlign = 1;
inline void storeEdgeBytes(std::uint8_t* out, const FVec sums[4]) {
  __m128i q[4];
#pragma GCC unroll 4
  for (int p = 0; p < 4; ++p) q[p] = _mm_cvttps_epi32(sums[p]);
  const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}
inline void edgeBytesPart(const float* up, const float* mid, const float* down, std::uint8_t* out,
                          int j, int n) {
  scalar_path::edgeBytes(up, mid, down, out, j, n);
}

#include "image/kernels_triple128.inc"

}  // namespace

#include "image/kernels_vector.inc"

}  // namespace sse4_path
