#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/buffer.hpp"
#include "common/cpu.hpp"
#include "image/bmp.hpp"

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
// One row of levels to gray triples, each level truncated toward zero and
// its low 8 bits kept.
void levelBytes(const float* levels, int width, std::uint8_t* out);
}  // namespace reference

// Fast kernels, one per instruction set; each is bit-identical to the
// reference. The edge kernel relies on its input being gray levels
// (finite and non-negative), which is what the gray conversion produces.
void grayKernel(Isa isa, const std::uint8_t* pixels, std::size_t stride, int width,
                std::size_t rows, float* gray);
void laplacianKernel(Isa isa, const float* gray, float* edges, int rows, int cols);
void levelBytesKernel(Isa isa, const float* levels, int width, std::uint8_t* out);

// The program's stages, on the fastest instruction set of this CPU.
// RGB2BW returns the gray array, W·|H| floats in file row order.
Buffer RGB2BW(const std::uint8_t* pixels, const BmpLayout& layout);
// Sets the one-pixel frame of an edge array to level 0: the operator never
// computes it.
void clearFrame(float* edges, int rows, int cols);
// Fills the interior of edges and prints the sweep's time on out.
void border(const float* gray, float* edges, int rows, int cols, std::FILE* out = stdout);
