#include "image/kernels.hpp"

#include "image/kernels_isa.hpp"

void grayKernel(Isa isa, const std::uint8_t* pixels, std::size_t stride, int width,
                std::size_t rows, float* gray) {
  switch (isa) {
    case Isa::avx512:
      return avx512_path::gray(pixels, stride, width, rows, gray);
    case Isa::avx2:
      return avx2_path::gray(pixels, stride, width, rows, gray);
    case Isa::scalar:
      break;
  }
  scalar_path::gray(pixels, stride, width, rows, gray);
}

void laplacianKernel(Isa isa, const float* gray, float* edges, int rows, int cols) {
  if (rows < 3 || cols < 3) return;
  switch (isa) {
    case Isa::avx512:
      return avx512_path::laplacian(gray, edges, rows, cols);
    case Isa::avx2:
      return avx2_path::laplacian(gray, edges, rows, cols);
    case Isa::scalar:
      break;
  }
  scalar_path::laplacian(gray, edges, rows, cols);
}

ByteLevels laplacianBytesKernel(Isa isa, float* gray, int rows, int cols) {
  if (rows < 3 || cols < 3) return {};
  switch (isa) {
    case Isa::avx512:
      avx512_path::laplacianBytes(gray, rows, cols);
      break;
    case Isa::avx2:
      avx2_path::laplacianBytes(gray, rows, cols);
      break;
    case Isa::scalar:
      scalar_path::laplacianBytes(gray, rows, cols);
      break;
  }
  return {reinterpret_cast<const std::uint8_t*>(gray),
          static_cast<std::size_t>(cols) * sizeof(float)};
}

void tripleBytesKernel(Isa isa, const std::uint8_t* levels, int width, std::uint8_t* out) {
  switch (isa) {
    case Isa::avx512:
      return avx512_path::tripleBytes(levels, width, out);
    case Isa::avx2:
      return avx2_path::tripleBytes(levels, width, out);
    case Isa::scalar:
      break;
  }
  scalar_path::tripleBytes(levels, width, out);
}

void RGB2BW(const std::uint8_t* pixels, std::size_t stride, int width, std::size_t rows,
            float* gray) {
  grayKernel(activeIsa(), pixels, stride, width, rows, gray);
}
