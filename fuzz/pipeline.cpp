#include "fuzz/pipeline.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/bmp.hpp"
#include "image/kernels.hpp"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "pipeline check failed: %s\n", what);
    std::abort();
  }
}

}  // namespace

void runImagePipeline(const std::uint8_t* data, std::size_t size) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  const int fd = memfd_create("input.bmp", MFD_CLOEXEC);
  check(fd >= 0, "memfd_create");
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    check(n > 0, "write to memfd");
    done += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);

  BmpHeader header;
  BmpImage image;
  try {
    image = readBMP(fd, "input.bmp", header, sink);
  } catch (const BmpError& e) {
    close(fd);
    check(std::strlen(e.what()) > 0 && e.what()[std::strlen(e.what()) - 1] == '\n',
          "failure message ends with a newline");
    return;
  }
  close(fd);
  const BmpLayout& layout = image.layout;
  check(layout.rows * layout.stride <= layout.dataSize, "rows fit the data");
  check(layout.dataSize + 54 == static_cast<std::size_t>(layout.fileSize), "S = D + 54");

  const std::size_t count = layout.rows * static_cast<std::size_t>(layout.width);
  const int rows = static_cast<int>(layout.rows);
  std::vector<float> wantGray(count), wantEdges(count, 0.0f);
  reference::gray(image.pixels.bytes(), layout.stride, layout.width, layout.rows, wantGray.data());
  reference::laplacian(wantGray.data(), wantEdges.data(), rows, layout.width);

  Buffer gray = RGB2BW(image.pixels.bytes(), layout);
  check(std::memcmp(gray.floats(), wantGray.data(), count * sizeof(float)) == 0, "gray");
  const auto width = static_cast<std::size_t>(layout.width);
  std::vector<std::uint8_t> wantBytes(3 * count);
  for (std::size_t r = 0; r < layout.rows; ++r) {
    reference::levelBytes(&wantEdges[r * width], layout.width, &wantBytes[3 * r * width]);
  }
  for (const Isa isa : kAllIsas) {
    if (!isaSupported(isa)) continue;
    std::vector<float> levels(count, 0.0f);
    grayKernel(isa, image.pixels.bytes(), layout.stride, layout.width, layout.rows, levels.data());
    check(std::memcmp(levels.data(), wantGray.data(), count * sizeof(float)) == 0, "gray kernel");
    std::vector<float> edges(count, 0.0f);
    laplacianKernel(isa, gray.floats(), edges.data(), rows, layout.width);
    check(std::memcmp(edges.data(), wantEdges.data(), count * sizeof(float)) == 0, "edges");
    std::vector<std::uint8_t> bytes(3 * count);
    for (std::size_t r = 0; r < layout.rows; ++r) {
      levelBytesKernel(isa, &wantEdges[r * width], layout.width, &bytes[3 * r * width]);
    }
    check(bytes == wantBytes, "level bytes");
  }

  // The program's own path from here: edges in the pixel buffer, output
  // bytes in the gray buffer.
  float* edges = image.pixels.floats();
  clearFrame(edges, rows, layout.width);
  border(gray.floats(), edges, rows, layout.width, sink);
  check(std::memcmp(edges, wantEdges.data(), count * sizeof(float)) == 0, "border");
  std::vector<std::uint8_t> encoded(layout.dataSize);
  encodeLevels(edges, layout, encoded.data());
  check(writeBMP(edges, "/dev/null", header, layout, gray) == layout.fileSize, "write");
}
