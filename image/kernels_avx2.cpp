// AVX2 kernels. Only intrinsics and plain loops live in this file: an inline
// library function compiled here could be picked by the linker for callers
// on CPUs without AVX2.
#include <immintrin.h>

#include "image/kernels.hpp"
#include "image/kernels_isa.hpp"

namespace avx2_path {

void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
          float* gray) {
  const char z = -1;
  // Lane 0 takes pixels 0 and 1, lane 1 pixels 2 and 3, of a 12-byte group
  // whose bytes 12 … 15 are replaced by 00 00 30 43; each quadword gets the
  // bit pattern of 2^52 + b for byte b of channel c.
  __m256i shuffle[3];
  for (int c = 0; c < 3; ++c) {
    shuffle[c] =
        _mm256_setr_epi8(static_cast<char>(c), z, z, z, z, z, 14, 15, static_cast<char>(3 + c), z,
                         z, z, z, z, 14, 15, static_cast<char>(6 + c), z, z, z, z, z, 14, 15,
                         static_cast<char>(9 + c), z, z, z, z, z, 14, 15);
  }
  const __m256i exponent = _mm256_set1_epi32(0x43300000);
  const __m256d w0 = _mm256_set1_pd(0.2989), w1 = _mm256_set1_pd(0.587), w2 = _mm256_set1_pd(0.114);
  // −2^52·w, exact: a power of two times w.
  const __m256d m0 = _mm256_set1_pd(-0x1p52 * 0.2989), m1 = _mm256_set1_pd(-0x1p52 * 0.587),
                m2 = _mm256_set1_pd(-0x1p52 * 0.114);
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint8_t* src = pixels + r * stride;
    float* dst = gray + r * static_cast<std::size_t>(width);
    std::size_t c = 0;
    // Each 16-byte load uses 12 bytes; it must not reach past the row.
    for (; 3 * c + 16 <= rowBytes; c += 4) {
      const __m256i v = _mm256_blend_epi32(_mm256_broadcastsi128_si256(_mm_loadu_si128(
                                               reinterpret_cast<const __m128i*>(src + 3 * c))),
                                           exponent, 0x88);
      // b·w rounded once, from x = 2^52 + b: the fused x·w − 2^52·w is
      // exactly b·w before its one rounding, as the product of the exact
      // double b and w is.
      const __m256d p0 =
          _mm256_fmadd_pd(_mm256_castsi256_pd(_mm256_shuffle_epi8(v, shuffle[0])), w0, m0);
      const __m256d p1 =
          _mm256_fmadd_pd(_mm256_castsi256_pd(_mm256_shuffle_epi8(v, shuffle[1])), w1, m1);
      const __m256d p2 =
          _mm256_fmadd_pd(_mm256_castsi256_pd(_mm256_shuffle_epi8(v, shuffle[2])), w2, m2);
      // (b0·0.2989 + b1·0.587) + b2·0.114 in double, then one rounding.
      _mm_storeu_ps(dst + c, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(p0, p1), p2)));
    }
    for (; c < static_cast<std::size_t>(width); ++c) {
      dst[c] = reference::grayLevel(src[3 * c], src[3 * c + 1], src[3 * c + 2]);
    }
  }
}

namespace {

// The clamped edge levels of columns at … at + 7 of one row, in five terms.
// The products with weight 0 only add zeros, which change at most the sign
// of a zero sum; the clamp sends both zeros to +0.
inline __m256 edgeLevels(const float* up, const float* mid, const float* down, int at) {
  const __m256 zero = _mm256_setzero_ps();
  __m256 sum = _mm256_sub_ps(zero, _mm256_loadu_ps(up + at));
  sum = _mm256_sub_ps(sum, _mm256_loadu_ps(mid + at - 1));
  sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_set1_ps(4.0f), _mm256_loadu_ps(mid + at)));
  sum = _mm256_sub_ps(sum, _mm256_loadu_ps(mid + at + 1));
  sum = _mm256_sub_ps(sum, _mm256_loadu_ps(down + at));
  // max returns its second operand for NaN and for ±0: both become +0.
  return _mm256_min_ps(_mm256_max_ps(sum, zero), _mm256_set1_ps(255.0f));
}

// The same sums before the clamp, with two steps merged: (0 − up) − left is
// −(up + left), as rounding is symmetric (only the sign of a zero may
// differ), and adding 4·mid, which is exact, equals one fused
// 4·mid − (up + left). A zero's sign is lost when the sum becomes a byte.
inline __m256 edgeSums(const float* up, const float* mid, const float* down, int at) {
  const __m256 t = _mm256_add_ps(_mm256_loadu_ps(up + at), _mm256_loadu_ps(mid + at - 1));
  __m256 sum = _mm256_fmsub_ps(_mm256_set1_ps(4.0f), _mm256_loadu_ps(mid + at), t);
  sum = _mm256_sub_ps(sum, _mm256_loadu_ps(mid + at + 1));
  return _mm256_sub_ps(sum, _mm256_loadu_ps(down + at));
}

}  // namespace

void laplacian(const float* gray, float* edges, int rows, int cols) {
  const std::size_t w = static_cast<std::size_t>(cols);
  // Large outputs bypass the cache with aligned streaming stores.
  const bool stream = w * static_cast<std::size_t>(rows) * sizeof(float) >= (std::size_t{8} << 20);
  for (int i = 1; i < rows - 1; ++i) {
    const float* up = gray + (i - 1) * w;
    const float* mid = up + w;
    const float* down = mid + w;
    float* out = edges + i * w;
    const int last = cols - 1;
    int j = 1;
    if (stream) {
      // Whole cache lines per iteration keep the write-combining buffers full.
      for (; j < last && (reinterpret_cast<std::uintptr_t>(out + j) & 63) != 0; ++j) {
        out[j] = scalar_path::edgeLevel(up, mid, down, j);
      }
      for (; j + 16 <= last; j += 16) {
        _mm256_stream_ps(out + j, edgeLevels(up, mid, down, j));
        _mm256_stream_ps(out + j + 8, edgeLevels(up, mid, down, j + 8));
      }
    }
    for (; j + 8 <= last; j += 8) _mm256_storeu_ps(out + j, edgeLevels(up, mid, down, j));
    for (; j < last; ++j) out[j] = scalar_path::edgeLevel(up, mid, down, j);
  }
  if (stream) _mm_sfence();
}

void laplacianBytes(float* gray, int rows, int cols) {
  const std::size_t w = static_cast<std::size_t>(cols);
  for (int i = 1; i < rows - 1; ++i) {
    const float* up = gray + (i - 1) * w;
    const float* mid = up + w;
    const float* down = mid + w;
    // Bytes j … j + 15 land in floats j / 4 … (j + 15) / 4 of the row above,
    // all read by this or an earlier block of columns and by no later one.
    auto* out = reinterpret_cast<std::uint8_t*>(gray + (i - 1) * w);
    const int last = cols - 1;
    int j = 1;
    for (; j + 16 <= last; j += 16) {
      // Truncation toward zero, then saturating packs: a sum of gray levels
      // is finite and lies in −1020 … 1020, so the packs clamp it to
      // 0 … 255 exactly as the clamp before the truncation would.
      const __m256i a = _mm256_cvttps_epi32(edgeSums(up, mid, down, j));
      const __m256i b = _mm256_cvttps_epi32(edgeSums(up, mid, down, j + 8));
      // Words a0-3 b0-3 | a4-7 b4-7, put in order a0-7 | b0-7.
      const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
      _mm_storeu_si128(
          reinterpret_cast<__m128i*>(out + j),
          _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
    }
    for (; j < last; ++j) out[j] = reference::levelByte(scalar_path::edgeLevel(up, mid, down, j));
    out[0] = 0;
    out[last] = 0;
  }
}

void tripleBytes(const std::uint8_t* levels, int width, std::uint8_t* out) {
  const __m128i triple0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i triple1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i triple2 =
      _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  int k = 0;
  for (; k + 16 <= width; k += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + k));
    auto* to = reinterpret_cast<__m128i*>(out + 3 * k);
    _mm_storeu_si128(to, _mm_shuffle_epi8(bytes, triple0));
    _mm_storeu_si128(to + 1, _mm_shuffle_epi8(bytes, triple1));
    _mm_storeu_si128(to + 2, _mm_shuffle_epi8(bytes, triple2));
  }
  scalar_path::tripleBytes(levels + k, width - k, out + 3 * k);
}

}  // namespace avx2_path
