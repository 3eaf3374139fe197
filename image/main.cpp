// image: gray conversion and 3×3 Laplacian edges of a 24-bit BMP file.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/standard_streams.hpp"
#include "image/bmp.hpp"
#include "image/kernels.hpp"

int main(int argc, char** argv) {
  holdStandardDescriptors();
  if (argc < 4) {
    std::fputs("Uso incorrecto de los parametros. exe  input.bmp output.bmp [cg]\n", stderr);
    return 1;
  }
  try {
    BmpHeader header;
    BmpImage image = readBMP(argv[1], header);
    const BmpLayout& layout = image.layout;
    Buffer gray = RGB2BW(image.pixels.bytes(), layout);

    // The pixel bytes are dead once gray: their buffer takes the edge levels,
    // and the gray buffer later takes the output bytes. Fresh memory costs a
    // page fault and a page clear per page, so reuse is cheaper than new.
    const int rows = static_cast<int>(layout.rows);
    float* edges = image.pixels.floats();
    const char mode = argv[3][0];
    if (mode == 'c' || mode == 'g') {
      clearFrame(edges, rows, layout.width);
      border(gray.floats(), edges, rows, layout.width);
    } else {
      std::memset(edges, 0, layout.rows * static_cast<std::size_t>(layout.width) * sizeof(float));
      std::puts("Not Implemented yet!!");
    }

    const std::int64_t written = writeBMP(edges, argv[2], header, layout, gray);
    if (written != layout.fileSize) {
      std::fflush(stdout);
      std::fprintf(stderr, "Escritos %d de %d bytes\n", static_cast<int>(written), layout.fileSize);
      return 1;
    }
  } catch (const BmpError& error) {
    std::fflush(stdout);
    std::fputs(error.what(), stderr);
    return 1;
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs("Memoria insuficiente\n", stderr);
    return 1;
  }
  const std::string failure = flushStandardOutput();
  if (!failure.empty()) {
    std::fputs(failure.c_str(), stderr);
    return 1;
  }
  return 0;
}
