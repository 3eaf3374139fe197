#pragma once

// Per-instruction-set entry points behind the kernels of image/kernels.hpp.
// The vector paths write each stage once (kernels_vector.inc) over a layer
// per instruction set, in its own file compiled with that instruction set's
// flags. The scalar path finishes the rows of the paths without masks.

#include <cstddef>
#include <cstdint>

#include "common/isa_dispatch.hpp"

#define IMAGE_KERNELS(ns)                                                                \
  namespace ns {                                                                         \
  void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows, \
            float* gray);                                                                \
  void laplacianBytes(float* gray, int rows, int cols);                                  \
  void tripleBytes(const std::uint8_t* levels, int width, std::uint8_t* out);            \
  }

EDGESTAR_EACH_PATH(IMAGE_KERNELS)

#undef IMAGE_KERNELS

namespace scalar_path {
// The level bytes of columns j … j + n − 1 of a row, at out + j.
void edgeBytes(const float* up, const float* mid, const float* down, std::uint8_t* out, int j,
               int n);
}  // namespace scalar_path
