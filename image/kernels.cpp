#include "image/kernels.hpp"

#include <algorithm>

#include "common/timer.hpp"
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

void levelBytesKernel(Isa isa, const float* levels, int width, std::uint8_t* out) {
  switch (isa) {
    case Isa::avx512:
      return avx512_path::levelBytes(levels, width, out);
    case Isa::avx2:
      return avx2_path::levelBytes(levels, width, out);
    case Isa::scalar:
      break;
  }
  scalar_path::levelBytes(levels, width, out);
}

Buffer RGB2BW(const std::uint8_t* pixels, const BmpLayout& layout) {
  Buffer gray(layout.rows * static_cast<std::size_t>(layout.width) * sizeof(float));
  grayKernel(bestIsa(), pixels, layout.stride, layout.width, layout.rows, gray.floats());
  return gray;
}

void clearFrame(float* edges, int rows, int cols) {
  const std::size_t w = static_cast<std::size_t>(cols);
  if (rows <= 0 || cols <= 0) return;
  std::fill(edges, edges + w, 0.0f);
  std::fill(edges + (rows - 1) * w, edges + rows * w, 0.0f);
  for (int i = 1; i < rows - 1; ++i) {
    edges[i * w] = 0.0f;
    edges[i * w + w - 1] = 0.0f;
  }
}

void border(const float* gray, float* edges, int rows, int cols, std::FILE* out) {
  const Isa isa = bestIsa();
  const double t0 = get_time();
  laplacianKernel(isa, gray, edges, rows, cols);
  const double t1 = get_time();
  std::fprintf(out, "Exection time %f ms.\n", (t1 - t0) * 1000);
}
