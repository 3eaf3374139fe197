// The straightforward image pipeline, for timing only: plain allocations,
// stdio, and the scalar reference kernels. Its output is the same file.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/timer.hpp"
#include "image/kernels.hpp"

int main(int argc, char** argv) {
  if (argc < 4) return 1;
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 1;
  unsigned char header[54];
  if (std::fread(header, 1, 54, in) != 54) return 1;
  int size, width, height;
  std::memcpy(&size, header + 2, 4);
  std::memcpy(&width, header + 18, 4);
  std::memcpy(&height, header + 22, 4);
  const std::size_t data = std::size_t(size) - 54, count = std::size_t(width) * height;
  auto* pixels = static_cast<unsigned char*>(std::malloc(data));
  if (std::fread(pixels, 1, data, in) != data) return 1;
  std::fclose(in);
  const std::size_t stride = (3 * std::size_t(width) + 3) / 4 * 4;
  auto* gray = static_cast<float*>(std::malloc(count * 4));
  reference::gray(pixels, stride, width, height, gray);
  auto* edges = static_cast<float*>(std::calloc(count, 4));
  const double t0 = get_time();
  reference::laplacian(gray, edges, height, width);
  const double t1 = get_time();
  std::printf("Exection time %f ms.\n", (t1 - t0) * 1000);
  auto* block = static_cast<unsigned char*>(std::calloc(data, 1));
  for (int r = 0; r < height; ++r)
    reference::levelBytes(edges + r * width, width, block + r * stride);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 1;
  std::fwrite(header, 1, 54, out);
  std::fwrite(block, 1, data, out);
  std::fclose(out);
  std::free(block);
  std::free(edges);
  std::free(gray);
  std::free(pixels);
  return 0;
}
