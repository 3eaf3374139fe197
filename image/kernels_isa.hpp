#pragma once

// Per-instruction-set entry points behind the kernels of image/kernels.hpp.
// Each lives in its own file, compiled with that instruction set's flags.
// Unlike the force step, these are written per instruction set: their speed
// rests on what only AVX-512 has (word permutes to gather pixel bytes, masked
// loads and stores for row ends, whole-register lane shuffles to spread bytes
// into triples and to order packed bytes), and the AVX2 versions take other
// routes. What they share is the edge level of one pixel, the scalar tail of
// every path.

#include <cstddef>
#include <cstdint>

#define IMAGE_KERNELS(ns)                                                                \
  namespace ns {                                                                         \
  void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows, \
            float* gray);                                                                \
  void laplacian(const float* gray, float* edges, int rows, int cols);                   \
  void laplacianBytes(float* gray, int rows, int cols);                                  \
  void tripleBytes(const std::uint8_t* levels, int width, std::uint8_t* out);            \
  }

IMAGE_KERNELS(scalar_path)
IMAGE_KERNELS(avx2_path)
IMAGE_KERNELS(avx512_path)

#undef IMAGE_KERNELS

namespace scalar_path {
// The edge level of column j from its three rows, in five terms: also the
// tail of the vector paths, so every path computes leftover pixels alike.
float edgeLevel(const float* up, const float* mid, const float* down, int j);
}  // namespace scalar_path
