#include "image/kernels.hpp"
#include "image/kernels_isa.hpp"

namespace avx512_path {

void gray(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
          float* gray) {
  scalar_path::gray(pixels, stride, width, rows, gray);
}

void laplacian(const float* gray, float* edges, int rows, int cols) {
  scalar_path::laplacian(gray, edges, rows, cols);
}

void levelBytes(const float* levels, int width, std::uint8_t* out) {
  scalar_path::levelBytes(levels, width, out);
}

}  // namespace avx512_path
