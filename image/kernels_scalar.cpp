#include <bit>
#include <cstring>

#include "image/kernels.hpp"
#include "image/kernels_isa.hpp"

namespace reference {

float grayLevel(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  // Weights go by byte position: the first byte (blue in a BMP) gets 0.2989.
  return static_cast<float>((b0 * 0.2989 + b1 * 0.587) + b2 * 0.114);
}

void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
          float* gray) {
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint8_t* row = pixels + r * stride;
    for (int c = 0; c < width; ++c) {
      gray[r * width + c] = grayLevel(row[3 * c], row[3 * c + 1], row[3 * c + 2]);
    }
  }
}

float clampLevel(float sum) {
  if (sum > 0.0f && sum < 255.0f) return sum;
  if (sum >= 255.0f) return 255.0f;
  return 0.0f;  // zero, negative or NaN
}

void laplacian(const float* gray, float* edges, int rows, int cols) {
  static const float kWeights[3][3] = {{0, -1, 0}, {-1, 4, -1}, {0, -1, 0}};
  const std::size_t w = cols > 0 ? static_cast<std::size_t>(cols) : 0;
  for (int i = 1; i < rows - 1; ++i) {
    for (int j = 1; j < cols - 1; ++j) {
      float sum = 0.0f;
      for (int di = 0; di < 3; ++di) {
        for (int dj = 0; dj < 3; ++dj) {
          const float g = gray[(i - 1 + di) * w + (j - 1 + dj)];
          sum = sum + kWeights[di][dj] * g;
        }
      }
      edges[i * w + j] = clampLevel(sum);
    }
  }
}

std::uint8_t levelByte(float level) {
  return static_cast<std::uint8_t>(static_cast<std::int32_t>(level) & 0xFF);
}

void levelBytes(const float* levels, int width, std::uint8_t* out) {
  for (int k = 0; k < width; ++k) {
    const std::uint8_t level = levelByte(levels[k]);
    out[3 * k] = level;
    out[3 * k + 1] = level;
    out[3 * k + 2] = level;
  }
}

}  // namespace reference

// The portable path: the reference's arithmetic with what a plain loop can
// do faster. It also finishes the rows of the vector paths that have no masks.
namespace scalar_path {

namespace {

// b·w for every byte b and weight w, each the double product the reference
// forms, so a level costs two additions and one rounding.
struct Products {
  double first[256], second[256], third[256];
};
const Products kProducts = [] {
  Products p;
  for (int b = 0; b < 256; ++b) {
    p.first[b] = b * 0.2989;
    p.second[b] = b * 0.587;
    p.third[b] = b * 0.114;
  }
  return p;
}();

// The level byte of column j from its three rows, in five terms.
std::uint8_t edgeByte(const float* up, const float* mid, const float* down, int j) {
  // The products with weight 0 add a zero, which can only change the sign of
  // a zero sum; the clamp sends both zeros to +0, so the nine-term sum and
  // this five-term sum give the same level for gray input.
  float sum = -up[j];
  sum = sum - mid[j - 1];
  sum = sum + 4.0f * mid[j];
  sum = sum - mid[j + 1];
  sum = sum - down[j];
  // Sums of gray levels are finite and within ±1020, so truncating first and
  // clamping the integer gives the byte of the clamped level, with no branch
  // that depends on the pixels.
  const auto level = static_cast<std::int32_t>(sum);
  return static_cast<std::uint8_t>(level < 0 ? 0 : (level > 255 ? 255 : level));
}

}  // namespace

void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
          float* gray) {
  const Products& p = kProducts;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint8_t* row = pixels + r * stride;
    float* out = gray + r * static_cast<std::size_t>(width);
    for (int c = 0; c < width; ++c) {
      out[c] = static_cast<float>((p.first[row[3 * c]] + p.second[row[3 * c + 1]]) +
                                  p.third[row[3 * c + 2]]);
    }
  }
}

void edgeBytes(const float* up, const float* mid, const float* down, std::uint8_t* out, int j,
               int n) {
  for (int k = j; k < j + n; ++k) out[k] = edgeByte(up, mid, down, k);
}

void laplacianBytes(float* gray, int rows, int cols) {
  const std::size_t w = static_cast<std::size_t>(cols);
  for (int i = 1; i < rows - 1; ++i) {
    const float* up = gray + (i - 1) * w;
    const float* mid = up + w;
    const float* down = mid + w;
    // Byte j lands in float j / 4 of the row above, which column j has
    // already read and no later column reads.
    auto* out = reinterpret_cast<std::uint8_t*>(gray + (i - 1) * w);
    out[0] = 0;
    edgeBytes(up, mid, down, out, 1, cols - 2);
    out[cols - 1] = 0;
  }
}

void tripleBytes(const std::uint8_t* levels, int width, std::uint8_t* out) {
  // One 4-byte store a pixel, its level three times and a byte the next
  // pixel writes over; the last pixel's bytes one by one, so nothing lands
  // past the row.
  constexpr std::uint32_t kThrice =
      std::endian::native == std::endian::little ? 0x010101u : 0x01010100u;
  int k = 0;
  for (; k + 1 < width; ++k) {
    const std::uint32_t word = levels[k] * kThrice;
    std::memcpy(out + 3 * k, &word, sizeof word);
  }
  for (; k < width; ++k) {
    out[3 * k] = levels[k];
    out[3 * k + 1] = levels[k];
    out[3 * k + 2] = levels[k];
  }
}

}  // namespace scalar_path
