#include "image/kernels.hpp"

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

namespace {
// The sweep's time, from two timer readings around it and nothing else.
void printSweepTime(double t0, double t1, std::FILE* out) {
  std::fprintf(out, "Exection time %f ms.\n", (t1 - t0) * 1000);
}
}  // namespace

void border(const float* gray, float* edges, int rows, int cols, std::FILE* out) {
  const Isa isa = activeIsa();
  const double t0 = get_time();
  laplacianKernel(isa, gray, edges, rows, cols);
  printSweepTime(t0, get_time(), out);
}

ByteLevels borderBytes(float* gray, int rows, int cols, std::FILE* out) {
  const Isa isa = activeIsa();
  const double t0 = get_time();
  const ByteLevels levels = laplacianBytesKernel(isa, gray, rows, cols);
  printSweepTime(t0, get_time(), out);
  return levels;
}
