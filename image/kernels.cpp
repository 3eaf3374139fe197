#include "image/kernels.hpp"

#include "image/kernels_isa.hpp"

void grayKernel(Isa isa, const std::uint8_t* pixels, std::size_t stride, int width,
                std::size_t rows, float* gray) {
  EDGESTAR_DISPATCH(isa, gray(pixels, stride, width, rows, gray))
}

namespace {
void sweep(Isa isa, float* gray, int rows, int cols) {
  EDGESTAR_DISPATCH(isa, laplacianBytes(gray, rows, cols))
}
}  // namespace

ByteLevels laplacianBytesKernel(Isa isa, float* gray, int rows, int cols) {
  if (rows < 3 || cols < 3) return {};
  sweep(isa, gray, rows, cols);
  return {reinterpret_cast<const std::uint8_t*>(gray),
          static_cast<std::size_t>(cols) * sizeof(float)};
}

void tripleBytesKernel(Isa isa, const std::uint8_t* levels, int width, std::uint8_t* out) {
  EDGESTAR_DISPATCH(isa, tripleBytes(levels, width, out))
}

void RGB2BW(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
            float* gray) {
  grayKernel(activeIsa(), pixels, stride, width, rows, gray);
}
