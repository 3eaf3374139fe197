// AVX2 layer of the image stages. Only intrinsics and plain loops live in
// this file, all with internal linkage: an inline library function compiled
// here could be picked by the linker for callers on CPUs without AVX2.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "image/kernels_isa.hpp"

namespace avx2_path {
namespace {

using DVec = __m256d;
inline DVec set1D(double d) { return _mm256_set1_pd(d); }
inline DVec addD(DVec a, DVec b) { return _mm256_add_pd(a, b); }
// The fused x·w − 2^52·w, from x = 2^52 + b, is exactly b·w before its one
// rounding.
inline DVec exactProduct(DVec biased, DVec w, DVec minusBiased) {
  return _mm256_fmadd_pd(biased, w, minusBiased);
}

// 4 pixels from a 16-byte load whose bytes 12 … 15 are replaced by
// 00 00 30 43: lane 0 takes pixels 0 and 1, lane 1 pixels 2 and 3, and a
// byte shuffle per channel builds each quadword's 2^52 + b.
class Gray {
 public:
  static constexpr std::size_t kPixels = 4, kBytes = 16;
  static constexpr int kParts = 1;
  using Pixels = __m256i;
  Gray() {
    const char z = -1;
    for (int c = 0; c < 3; ++c) {
      const auto b = static_cast<char>(c);
      shuffle_[c] = _mm256_setr_epi8(b, z, z, z, z, z, 14, 15, static_cast<char>(3 + b), z, z, z, z,
                                     z, 14, 15, static_cast<char>(6 + b), z, z, z, z, z, 14, 15,
                                     static_cast<char>(9 + b), z, z, z, z, z, 14, 15);
    }
  }
  Pixels load(const std::uint8_t* src) const {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    return _mm256_blend_epi32(_mm256_broadcastsi128_si256(v), exponent_, 0x88);
  }
  DVec biased(Pixels p, int, int channel) const {
    return _mm256_castsi256_pd(_mm256_shuffle_epi8(p, shuffle_[channel]));
  }
  void store(float* dst, const DVec levels[1]) const {
    _mm_storeu_ps(dst, _mm256_cvtpd_ps(levels[0]));
  }

 private:
  __m256i shuffle_[3];
  __m256i exponent_ = _mm256_set1_epi32(0x43300000);
};

using FVec = __m256;
constexpr int kLanes = 8;
inline FVec loadF(const float* p) { return _mm256_loadu_ps(p); }
inline FVec addF(FVec a, FVec b) { return _mm256_add_ps(a, b); }
inline FVec subF(FVec a, FVec b) { return _mm256_sub_ps(a, b); }
inline FVec fourTimesMinus(FVec mid, FVec t) {
  return _mm256_fmsub_ps(_mm256_set1_ps(4.0f), mid, t);
}

constexpr int kEdgeParts = 2, kEdgeAlign = 1;
inline void storeEdgeBytes(std::uint8_t* out, const FVec sums[2]) {
  const __m256i a = _mm256_cvttps_epi32(sums[0]), b = _mm256_cvttps_epi32(sums[1]);
  // Words a0-3 b0-3 | a4-7 b4-7, put in order a0-7 | b0-7.
  const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(out),
      _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
}
inline void edgeBytesPart(const float* up, const float* mid, const float* down, std::uint8_t* out,
                          int j, int n) {
  scalar_path::edgeBytes(up, mid, down, out, j, n);
}

#include "image/kernels_triple128.inc"

}  // namespace

#include "image/kernels_vector.inc"

}  // namespace avx2_path
