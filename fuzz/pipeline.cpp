#include "fuzz/pipeline.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/bmp.hpp"
#include "image/kernels.hpp"
#include "tests/oracle/image_oracle.hpp"

namespace {

Isa checked = Isa::scalar;  // the instruction set a failure is reported on

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "pipeline check failed on %s: %s\n", isaName(checked), what);
    std::abort();
  }
}

int memoryFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create(name, MFD_CLOEXEC);
  check(fd >= 0, "memfd_create");
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    check(n > 0, "write to memfd");
    done += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

// One instruction set's kernels on whole arrays against the reference.
void checkKernels(Isa isa, const std::uint8_t* pixels, const BmpLayout& layout) {
  const std::size_t width = static_cast<std::size_t>(layout.width);
  const std::size_t count = layout.rows * width;
  const int rows = static_cast<int>(layout.rows);
  std::vector<float> wantGray(count), wantEdges(count, 0.0f);
  reference::gray(pixels, layout.stride, layout.width, layout.rows, wantGray.data());
  reference::laplacian(wantGray.data(), wantEdges.data(), rows, layout.width);
  std::vector<float> gray(count, -1.0f);
  grayKernel(isa, pixels, layout.stride, layout.width, layout.rows, gray.data());
  check(std::memcmp(gray.data(), wantGray.data(), count * sizeof(float)) == 0, "gray kernel");
  std::vector<float> edges(count, 0.0f);
  laplacianKernel(isa, gray.data(), edges.data(), rows, layout.width);
  check(std::memcmp(edges.data(), wantEdges.data(), count * sizeof(float)) == 0, "edges");
  const ByteLevels levels = laplacianBytesKernel(isa, gray.data(), rows, layout.width);
  std::vector<std::uint8_t> want(3 * width), got(3 * width);
  for (std::size_t r = 1; levels.first != nullptr && r + 1 < layout.rows; ++r) {
    const std::uint8_t* row = levels.first + (r - 1) * levels.pitch;
    for (std::size_t c = 0; c < width; ++c) {
      check(row[c] == reference::levelByte(wantEdges[r * width + c]), "edge bytes");
    }
    reference::levelBytes(&wantEdges[r * width], layout.width, want.data());
    tripleBytesKernel(isa, row, layout.width, got.data());
    check(got == want, "triple bytes");
  }
}

}  // namespace

void runImagePipeline(const std::uint8_t* data, std::size_t size, Isa isa) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  checked = isa;
  useIsaForTesting(isa);
  const int in = memoryFile("input.bmp", data, size);
  BmpHeader header;
  GrayImage image;
  try {
    image = readBMP(in, "input.bmp", header, sink);
  } catch (const BmpError& e) {
    close(in);
    check(std::strlen(e.what()) > 0 && e.what()[std::strlen(e.what()) - 1] == '\n',
          "failure message ends with a newline");
    return;
  }
  close(in);
  const BmpLayout& layout = image.layout;
  check(layout.rows * layout.stride <= layout.dataSize, "rows fit the data");
  check(layout.dataSize + kHeaderSize == static_cast<std::size_t>(layout.fileSize), "S = D + 54");
  checkKernels(isa, data + kHeaderSize, layout);

  // The program's own path: gray block by block, edges as bytes in place,
  // the output written through the block, compared with the whole-array
  // reference.
  const int out = memfd_create("output.bmp", MFD_CLOEXEC);
  check(out >= 0, "memfd_create");
  const std::string path = "/proc/self/fd/" + std::to_string(out);
  const ByteLevels levels =
      borderBytes(image.gray, static_cast<int>(layout.rows), layout.width, sink);
  check(writeBMP(levels, path.c_str(), header, layout, image.block) == layout.fileSize, "write");
  const std::vector<std::uint8_t> want = oracle::imageOutput(data, layout, true);
  std::vector<std::uint8_t> got(want.size() + 1);
  check(pread(out, got.data(), got.size(), 0) == static_cast<ssize_t>(want.size()), "output size");
  got.pop_back();
  check(got == want, "output bytes");
  close(out);
}
