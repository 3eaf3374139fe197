#pragma once

#include <cstddef>
#include <cstdint>

#include "common/cpu.hpp"

// The scalar reference: each function spells out the arithmetic exactly as
// the algorithm defines it. Every fast path must match it bit for bit.
namespace reference {
// (b0·0.2989 + b1·0.587) + b2·0.114 in double, rounded once to float.
float grayLevel(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);
void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows, float* gray);
// The nine weighted products of the 3×3 neighbourhood summed in float, row by
// row from the top-left corner, then clamped to 0…255; interior pixels only.
void laplacian(const float* gray, float* edges, int rows, int cols);
float clampLevel(float sum);
// The byte a level becomes in the file: truncated toward zero, low 8 bits.
std::uint8_t levelByte(float level);
// One row of levels to gray triples: each level's byte three times.
void levelBytes(const float* levels, int width, std::uint8_t* out);
}  // namespace reference

// Where the edge levels of an image stand as bytes, one a pixel: row i
// (1 ≤ i ≤ rows − 2) at first + (i − 1)·pitch. Rows 0 and rows − 1, and the
// whole image when first is null, have level 0.
struct ByteLevels {
  const std::uint8_t* first = nullptr;
  std::size_t pitch = 0;
};

// Fast kernels, one per instruction set; each is bit-identical to the
// reference. The edge kernel relies on its input being gray levels (finite
// and non-negative), which is what the gray conversion produces.
void grayKernel(Isa isa, const std::uint8_t* pixels, std::size_t stride, int width,
                std::size_t rows, float* gray);
// The edge levels as the bytes the file holds, computed in place: row i's
// bytes overwrite the start of gray row i − 1, which no later pixel reads.
// Columns 0 and cols − 1 get level 0. Nothing happens below 3×3.
ByteLevels laplacianBytesKernel(Isa isa, float* gray, int rows, int cols);
// Each level byte three times: out[3k] = out[3k + 1] = out[3k + 2] = levels[k].
void tripleBytesKernel(Isa isa, const std::uint8_t* levels, int width, std::uint8_t* out);

// The program's gray conversion, on activeIsa(): the fastest instruction set
// of this CPU, unless a test chose another. Gray levels of `rows` rows of
// pixel bytes, `stride` bytes apart.
void RGB2BW(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
            float* gray);
