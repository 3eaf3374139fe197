// AVX-512 layer of the image stages (F, BW, DQ, VL), and with VBMI's byte
// permutes when compiled for them (kernels_avx512vbmi.cpp). Only intrinsics
// and plain loops live in this file, all with internal linkage: an inline
// library function compiled here could be picked by the linker for callers
// on CPUs without AVX-512.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "image/kernels_isa.hpp"

#ifndef IMAGE_AVX512_PATH
#define IMAGE_AVX512_PATH avx512_path
#endif
namespace IMAGE_AVX512_PATH {
namespace {

using DVec = __m512d;
inline DVec set1D(double d) { return _mm512_set1_pd(d); }
inline DVec addD(DVec a, DVec b) { return _mm512_add_pd(a, b); }
// The fused x·w − 2^52·w, from x = 2^52 + b, is exactly b·w before its one
// rounding. It keeps the conversion of b off the adder, which the sums need.
inline DVec exactProduct(DVec biased, DVec w, DVec minusBiased) {
  return _mm512_fmadd_pd(biased, w, minusBiased);
}

#if defined(__AVX512VBMI__)
// 16 pixels from one 64-byte load. One byte permute per channel and 8 pixels
// builds each quadword's 2^52 + b directly, merged into the bytes of 2^52
// (0x4330 on top, zeros below): 6 shuffles a block, where the word permutes
// and byte shuffles below take 8 and more, on cores whose one shuffle port
// binds the stage.
class Gray {
 public:
  static constexpr std::size_t kPixels = 16, kBytes = 64;
  static constexpr int kParts = 2;
  struct Pixels {
    __m512i bytes;
  };
  Gray() {
    for (int part = 0; part < 2; ++part) {
      for (int c = 0; c < 3; ++c) {
        alignas(64) char index[64] = {};
        for (int lane = 0; lane < 8; ++lane) {
          index[8 * lane] = static_cast<char>(3 * (8 * part + lane) + c);
        }
        index_[part][c] = _mm512_load_si512(index);
      }
    }
  }
  Pixels load(const std::uint8_t* src) const { return {_mm512_loadu_si512(src)}; }
  DVec biased(const Pixels& p, int part, int channel) const {
    return _mm512_castsi512_pd(
        _mm512_mask_permutexvar_epi8(exponent_, kLowBytes, index_[part][channel], p.bytes));
  }
  // Two half stores instead of an insert, which would take the shuffle port.
  void store(float* dst, const DVec levels[2]) const {
    _mm256_storeu_ps(dst, _mm512_cvtpd_ps(levels[0]));
    _mm256_storeu_ps(dst + 8, _mm512_cvtpd_ps(levels[1]));
  }

 private:
  static constexpr __mmask64 kLowBytes = 0x0101010101010101ull;
  __m512i index_[2][3];
  __m512i exponent_ = _mm512_set1_epi64(0x4330000000000000ll);
};
#else
// 16 pixels from one 64-byte load. A word permute gathers pixels 2L and
// 2L + 1 into lane L with a zero word and the word 0x4330 (2^52's top bits),
// and a byte shuffle per channel builds each quadword's 2^52 + b.
class Gray {
 public:
  static constexpr std::size_t kPixels = 16, kBytes = 64;
  static constexpr int kParts = 2;
  struct Pixels {
    __m512i part[2];
  };
  Gray() {
    alignas(64) static const short kWords[2][32] = {
        {0, 1, 2, 32, 33, 0, 0, 0, 3, 4,  5,  32, 33, 0, 0, 0,
         6, 7, 8, 32, 33, 0, 0, 0, 9, 10, 11, 32, 33, 0, 0, 0},
        {12, 13, 14, 32, 33, 0, 0, 0, 15, 16, 17, 32, 33, 0, 0, 0,
         18, 19, 20, 32, 33, 0, 0, 0, 21, 22, 23, 32, 33, 0, 0, 0}};
    for (int p = 0; p < 2; ++p) words_[p] = _mm512_load_si512(kWords[p]);
    const char z = -1;
    for (int c = 0; c < 3; ++c) {
      const auto b = static_cast<char>(c);
      shuffle_[c] = _mm512_broadcast_i32x4(
          _mm_setr_epi8(b, z, z, z, z, z, 8, 9, static_cast<char>(3 + b), z, z, z, z, z, 8, 9));
    }
  }
  Pixels load(const std::uint8_t* src) const {
    const __m512i v = _mm512_loadu_si512(src);
    return {{_mm512_permutex2var_epi16(v, words_[0], exponent_),
             _mm512_permutex2var_epi16(v, words_[1], exponent_)}};
  }
  DVec biased(const Pixels& p, int part, int channel) const {
    return _mm512_castsi512_pd(_mm512_shuffle_epi8(p.part[part], shuffle_[channel]));
  }
  // Plain stores: streaming stores measured more than twice as slow here.
  void store(float* dst, const DVec levels[2]) const {
    _mm512_storeu_ps(dst, _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(levels[0])),
                                             _mm512_cvtpd_ps(levels[1]), 1));
  }

 private:
  __m512i words_[2], shuffle_[3];
  __m512i exponent_ = _mm512_set1_epi32(0x43300000);
};
#endif

using FVec = __m512;
constexpr int kLanes = 16;
inline FVec loadF(const float* p) { return _mm512_loadu_ps(p); }
inline FVec addF(FVec a, FVec b) { return _mm512_add_ps(a, b); }
inline FVec subF(FVec a, FVec b) { return _mm512_sub_ps(a, b); }
inline FVec fourTimesMinus(FVec mid, FVec t) {
  return _mm512_fmsub_ps(_mm512_set1_ps(4.0f), mid, t);
}

// 64 bytes a block, stored on a 64-byte boundary.
constexpr int kEdgeParts = 4, kEdgeAlign = 64;
inline void storeEdgeBytes(std::uint8_t* out, const FVec sums[4]) {
  // The packs leave the bytes of columns 16k + 4L … 16k + 4L + 3 (k, L in
  // 0 … 3) in 32-bit group 4L + k; the permute puts them back in order.
  const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  __m512i q[4];
#pragma GCC unroll 4
  for (int p = 0; p < 4; ++p) q[p] = _mm512_cvttps_epi32(sums[p]);
  const __m512i bytes =
      _mm512_packus_epi16(_mm512_packs_epi32(q[0], q[1]), _mm512_packs_epi32(q[2], q[3]));
  _mm512_storeu_si512(out, _mm512_permutexvar_epi32(order, bytes));
}

FVec edgeSum(FVec up, FVec left, FVec mid, FVec right, FVec down);

// Row ends and the aligning head, 16 columns at a time under a mask: masks
// are AVX-512's alone, and the other paths finish rows one pixel at a time.
inline void edgeBytesPart(const float* up, const float* mid, const float* down, std::uint8_t* out,
                          int j, int n) {
  for (int k = 0; k < n; k += 16) {
    const auto m = static_cast<__mmask16>(_bzhi_u32(0xFFFF, static_cast<unsigned>(n - k)));
    const int at = j + k;
    const FVec sum =
        edgeSum(_mm512_maskz_loadu_ps(m, up + at), _mm512_maskz_loadu_ps(m, mid + at - 1),
                _mm512_maskz_loadu_ps(m, mid + at), _mm512_maskz_loadu_ps(m, mid + at + 1),
                _mm512_maskz_loadu_ps(m, down + at));
    // Truncation, then 0 … 255 by saturation, as the packs do.
    const __m512i q = _mm512_max_epi32(_mm512_cvttps_epi32(sum), _mm512_setzero_si512());
    _mm_mask_storeu_epi8(out + at, m, _mm512_cvtusepi32_epi8(q));
  }
}

// Output bytes 48q … 48q + 47 repeat levels 16q … 16q + 15 three times each;
// kTriple[m] is the shuffle for the m-th 16 bytes of such a group.
alignas(16) const
    char kTriple[3][16] = {{0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5},
                           {5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10},
                           {10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15}};

inline __m512i spread(int a, int b, int c, int d) {
  const auto t = [](int m) { return _mm_load_si128(reinterpret_cast<const __m128i*>(kTriple[m])); };
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_set_m128i(t(b), t(a))),
                            _mm256_set_m128i(t(d), t(c)), 1);
}

// 64 levels make 192 bytes: three whole 64-byte stores. Lanes (0,0,0,1),
// (1,1,2,2) and (2,3,3,3) of the levels feed them.
constexpr int kTripleLevels = 64;
inline void tripleBlock(const std::uint8_t* levels, std::uint8_t* out) {
  const __m512i all = _mm512_loadu_si512(levels);
  _mm512_storeu_si512(
      out, _mm512_shuffle_epi8(_mm512_shuffle_i32x4(all, all, 0x40), spread(0, 1, 2, 0)));
  _mm512_storeu_si512(
      out + 64, _mm512_shuffle_epi8(_mm512_shuffle_i32x4(all, all, 0xA5), spread(1, 2, 0, 1)));
  _mm512_storeu_si512(
      out + 128, _mm512_shuffle_epi8(_mm512_shuffle_i32x4(all, all, 0xFE), spread(2, 0, 1, 2)));
}
inline void tripleTail(const std::uint8_t* levels, int n, std::uint8_t* out) {
  for (int k = 0; k < n; k += 16) {
    const int left = n - k < 16 ? n - k : 16;
    const __m512i bytes = _mm512_broadcast_i32x4(
        _mm_maskz_loadu_epi8(static_cast<__mmask16>(_bzhi_u32(0xFFFF, left)), levels + k));
    _mm512_mask_storeu_epi8(out + 3 * k, _bzhi_u64(~0ull, 3u * static_cast<unsigned>(left)),
                            _mm512_shuffle_epi8(bytes, spread(0, 1, 2, 0)));
  }
}

}  // namespace

#include "image/kernels_vector.inc"

}  // namespace IMAGE_AVX512_PATH
