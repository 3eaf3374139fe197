// AVX-512 kernels (F, BW, DQ, VL). Only intrinsics and plain loops live in
// this file: an inline library function compiled here could be picked by the
// linker for callers on CPUs without AVX-512.
#include <immintrin.h>

#include "image/kernels_isa.hpp"

namespace avx512_path {
namespace {

// Lane L of the permuted pixels holds bytes 6L … 6L + 5 (pixels 2L and
// 2L + 1), then a zero word and the word 0x4330. This shuffle builds, in each
// quadword, the bit pattern of the double 2^52 + b for byte b of channel c.
__m512i channelShuffle(int c) {
  const char z = -1;
  const __m128i lane = _mm_setr_epi8(static_cast<char>(c), z, z, z, z, z, 8, 9,
                                     static_cast<char>(3 + c), z, z, z, z, z, 8, 9);
  return _mm512_broadcast_i32x4(lane);
}

// Each byte's weight w, and −2^52·w (exact: a power of two times w).
struct Weight {
  __m512d w, minusBiased;
  explicit Weight(double weight)
      : w(_mm512_set1_pd(weight)), minusBiased(_mm512_set1_pd(-0x1p52 * weight)) {}
  // b·w rounded once, from x = 2^52 + b: the fused x·w − 2^52·w is exactly
  // b·w before its one rounding, so this equals the product of the exact
  // double b and w. It keeps the conversion of b off the adder, which the
  // sums below need.
  __m512d times(__m512i biased) const {
    return _mm512_fmadd_pd(_mm512_castsi512_pd(biased), w, minusBiased);
  }
};

// Gray levels of the eight pixels that `words` picks out of v.
inline __m256 grayOf8(__m512i v, __m512i words, __m512i exponent, const __m512i shuffle[3],
                      const Weight weight[3]) {
  const __m512i pixels = _mm512_permutex2var_epi16(v, words, exponent);
  const __m512d p0 = weight[0].times(_mm512_shuffle_epi8(pixels, shuffle[0]));
  const __m512d p1 = weight[1].times(_mm512_shuffle_epi8(pixels, shuffle[1]));
  const __m512d p2 = weight[2].times(_mm512_shuffle_epi8(pixels, shuffle[2]));
  // (b0·0.2989 + b1·0.587) + b2·0.114 in double, in this order, then one
  // rounding to float.
  return _mm512_cvtpd_ps(_mm512_add_pd(_mm512_add_pd(p0, p1), p2));
}

}  // namespace

void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
          float* gray) {
  const __m512i shuffle[3] = {channelShuffle(0), channelShuffle(1), channelShuffle(2)};
  const Weight weight[3] = {Weight(0.2989), Weight(0.587), Weight(0.114)};
  // Lane L of the result takes words 3L … 3L + 2 of the pixels, then words 0
  // (zero) and 1 (0x4330) of `exponent` (indices 32 and 33).
  alignas(64) static const short kLow[32] = {0, 1, 2, 32, 33, 0, 0, 0, 3, 4,  5,  32, 33, 0, 0, 0,
                                             6, 7, 8, 32, 33, 0, 0, 0, 9, 10, 11, 32, 33, 0, 0, 0};
  alignas(64) static const short kHigh[32] = {12, 13, 14, 32, 33, 0,  0,  0,  15, 16, 17,
                                              32, 33, 0,  0,  0,  18, 19, 20, 32, 33, 0,
                                              0,  0,  21, 22, 23, 32, 33, 0,  0,  0};
  const __m512i wordsLow = _mm512_load_si512(kLow);
  const __m512i wordsHigh = _mm512_load_si512(kHigh);
  const __m512i exponent = _mm512_set1_epi32(0x43300000);
  // Plain stores: streaming stores measured more than twice as slow here.
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint8_t* src = pixels + r * stride;
    float* dst = gray + r * static_cast<std::size_t>(width);
    auto block = [&](const __m512i v) {
      return _mm512_insertf32x8(
          _mm512_castps256_ps512(grayOf8(v, wordsLow, exponent, shuffle, weight)),
          grayOf8(v, wordsHigh, exponent, shuffle, weight), 1);
    };
    int c = 0;
    // Full-width loads and stores while a 64-byte load stays inside the row
    // (masked stores are slow on some cores), then one masked block.
    for (; 3 * c + 64 <= 3 * width; c += 16) {
      _mm512_storeu_ps(dst + c, block(_mm512_loadu_si512(src + 3 * c)));
    }
    for (; c < width; c += 16) {
      const int left = width - c < 16 ? width - c : 16;
      const __mmask64 bytes = _bzhi_u64(~0ull, 3u * static_cast<unsigned>(left));
      const __m512 levels = block(_mm512_maskz_loadu_epi8(bytes, src + 3 * c));
      _mm512_mask_storeu_ps(dst + c, static_cast<__mmask16>(_bzhi_u32(0xFFFF, left)), levels);
    }
  }
}

namespace {

// The clamped edge levels of columns at … at + 15 of one row, in five terms.
// The products with weight 0 only add zeros, which change at most the sign
// of a zero sum; the clamp sends both zeros to +0. Loads are masked by m.
inline __m512 edgeLevels(const float* up, const float* mid, const float* down, int at,
                         __mmask16 m) {
  const __m512 zero = _mm512_setzero_ps();
  __m512 sum = _mm512_sub_ps(zero, _mm512_maskz_loadu_ps(m, up + at));
  sum = _mm512_sub_ps(sum, _mm512_maskz_loadu_ps(m, mid + at - 1));
  sum = _mm512_add_ps(sum, _mm512_mul_ps(_mm512_set1_ps(4.0f), _mm512_maskz_loadu_ps(m, mid + at)));
  sum = _mm512_sub_ps(sum, _mm512_maskz_loadu_ps(m, mid + at + 1));
  sum = _mm512_sub_ps(sum, _mm512_maskz_loadu_ps(m, down + at));
  // max returns its second operand for NaN and for ±0, so both become +0.
  return _mm512_min_ps(_mm512_max_ps(sum, zero), _mm512_set1_ps(255.0f));
}

// Truncation toward zero, then the low 8 bits of each integer.
inline __m128i levelsToBytes(__m512 v) { return _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(v)); }

}  // namespace

void laplacian(const float* gray, float* edges, int rows, int cols) {
  const std::size_t w = static_cast<std::size_t>(cols);
  // Large outputs bypass the cache: the sweep never reads them back, and
  // streaming stores save the read-for-ownership of every line.
  const bool stream = w * static_cast<std::size_t>(rows) * sizeof(float) >= (std::size_t{8} << 20);
  for (int i = 1; i < rows - 1; ++i) {
    const float* up = gray + (i - 1) * w;
    const float* mid = up + w;
    const float* down = mid + w;
    float* out = edges + i * w;
    const int last = cols - 1;  // one past the last computed column
    int j = 1;
    if (stream) {
      const auto misalign = (reinterpret_cast<std::uintptr_t>(out + j) & 63) / sizeof(float);
      const int head = misalign == 0 ? 0 : 16 - static_cast<int>(misalign);
      if (head > 0 && j + head <= last) {
        const auto m = static_cast<__mmask16>(_bzhi_u32(0xFFFF, head));
        _mm512_mask_storeu_ps(out + j, m, edgeLevels(up, mid, down, j, m));
        j += head;
      }
      for (; j + 16 <= last; j += 16)
        _mm512_stream_ps(out + j, edgeLevels(up, mid, down, j, 0xFFFF));
    }
    for (; j < last; j += 16) {
      const auto m = static_cast<__mmask16>(_bzhi_u32(0xFFFF, last - j < 16 ? last - j : 16));
      _mm512_mask_storeu_ps(out + j, m, edgeLevels(up, mid, down, j, m));
    }
  }
  if (stream) _mm_sfence();
}

namespace {

// The sums of columns at … at + 15 of one row, in the order of edgeLevels,
// with two steps merged. (0 − up) − left is −(up + left), as rounding is
// symmetric (only the sign of a zero may differ), and adding 4·mid, which is
// exact, equals one fused 4·mid − (up + left). A zero's sign is lost when the
// sum becomes a byte.
inline __m512 edgeSums(const float* up, const float* mid, const float* down, int at) {
  const __m512 t = _mm512_add_ps(_mm512_loadu_ps(up + at), _mm512_loadu_ps(mid + at - 1));
  __m512 sum = _mm512_fmsub_ps(_mm512_set1_ps(4.0f), _mm512_loadu_ps(mid + at), t);
  sum = _mm512_sub_ps(sum, _mm512_loadu_ps(mid + at + 1));
  return _mm512_sub_ps(sum, _mm512_loadu_ps(down + at));
}

}  // namespace

void laplacianBytes(float* gray, int rows, int cols) {
  const std::size_t w = static_cast<std::size_t>(cols);
  // The packs leave the bytes of columns 16k + 4L … 16k + 4L + 3 (k, L in
  // 0 … 3) in 32-bit group 4L + k; this puts them back in column order.
  alignas(64) static const int kOrder[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  const __m512i order = _mm512_load_si512(kOrder);
  for (int i = 1; i < rows - 1; ++i) {
    const float* up = gray + (i - 1) * w;
    const float* mid = up + w;
    const float* down = mid + w;
    // Bytes j … j + 63 land in floats j / 4 … (j + 63) / 4 of the row above,
    // all read by this or an earlier block of columns and by no later one.
    auto* out = reinterpret_cast<std::uint8_t*>(gray + (i - 1) * w);
    const int last = cols - 1;  // one past the last computed column
    int j = 1;
    // Columns up to the first whose byte lands on a 64-byte boundary: a
    // store split across two cache lines costs as much as two.
    const int head = static_cast<int>((64 - (reinterpret_cast<std::uintptr_t>(out + j) & 63)) & 63);
    if (head > 0 && j + head + 64 <= last) {
      for (int k = 0; k < head; k += 16) {
        const int n = head - k < 16 ? head - k : 16;
        const auto m = static_cast<__mmask16>(_bzhi_u32(0xFFFF, static_cast<unsigned>(n)));
        _mm_mask_storeu_epi8(out + j + k, m, levelsToBytes(edgeLevels(up, mid, down, j + k, m)));
      }
      j += head;
    }
    for (; j + 64 <= last; j += 64) {
      // Truncation toward zero, then saturating packs: a sum of gray levels
      // is finite and lies in −1020 … 1020, so the packs clamp it to
      // 0 … 255 exactly as the clamp before the truncation would.
      const __m512i q0 = _mm512_cvttps_epi32(edgeSums(up, mid, down, j));
      const __m512i q1 = _mm512_cvttps_epi32(edgeSums(up, mid, down, j + 16));
      const __m512i q2 = _mm512_cvttps_epi32(edgeSums(up, mid, down, j + 32));
      const __m512i q3 = _mm512_cvttps_epi32(edgeSums(up, mid, down, j + 48));
      const __m512i bytes =
          _mm512_packus_epi16(_mm512_packs_epi32(q0, q1), _mm512_packs_epi32(q2, q3));
      _mm512_storeu_si512(out + j, _mm512_permutexvar_epi32(order, bytes));
    }
    for (; j < last; j += 16) {
      const auto m = static_cast<__mmask16>(_bzhi_u32(0xFFFF, static_cast<unsigned>(last - j)));
      _mm_mask_storeu_epi8(out + j, m, levelsToBytes(edgeLevels(up, mid, down, j, m)));
    }
    out[0] = 0;
    out[last] = 0;
  }
}

namespace {
// Output bytes 48q … 48q + 47 repeat levels 16q … 16q + 15 three times each;
// kTriple[m] is the shuffle for the m-th 16 bytes of such a group.
alignas(16) const
    char kTriple[3][16] = {{0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5},
                           {5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10},
                           {10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15}};

inline __m512i lanes(int a, int b, int c, int d) {
  const auto t = [](int m) { return _mm_load_si128(reinterpret_cast<const __m128i*>(kTriple[m])); };
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_set_m128i(t(b), t(a))),
                            _mm256_set_m128i(t(d), t(c)), 1);
}
}  // namespace

void tripleBytes(const std::uint8_t* levels, int width, std::uint8_t* out) {
  const __m512i spread0 = lanes(0, 1, 2, 0), spread1 = lanes(1, 2, 0, 1),
                spread2 = lanes(2, 0, 1, 2);
  int k = 0;
  // 64 levels make 192 bytes: three whole 64-byte stores, no masks.
  for (; k + 64 <= width; k += 64) {
    const __m512i all = _mm512_loadu_si512(levels + k);
    std::uint8_t* to = out + 3 * k;
    // Lanes (0,0,0,1), (1,1,2,2) and (2,3,3,3) of `all` feed the three stores.
    _mm512_storeu_si512(to, _mm512_shuffle_epi8(_mm512_shuffle_i32x4(all, all, 0x40), spread0));
    _mm512_storeu_si512(to + 64,
                        _mm512_shuffle_epi8(_mm512_shuffle_i32x4(all, all, 0xA5), spread1));
    _mm512_storeu_si512(to + 128,
                        _mm512_shuffle_epi8(_mm512_shuffle_i32x4(all, all, 0xFE), spread2));
  }
  for (; k < width; k += 16) {
    const int left = width - k < 16 ? width - k : 16;
    const __m512i bytes = _mm512_broadcast_i32x4(
        _mm_maskz_loadu_epi8(static_cast<__mmask16>(_bzhi_u32(0xFFFF, left)), levels + k));
    _mm512_mask_storeu_epi8(out + 3 * k, _bzhi_u64(~0ull, 3u * static_cast<unsigned>(left)),
                            _mm512_shuffle_epi8(bytes, spread0));
  }
}

}  // namespace avx512_path
