// image: gray conversion and 3×3 Laplacian edges of a 24-bit BMP file.
#include <cstdio>
#include <new>

#include "image/bmp.hpp"
#include "image/kernels.hpp"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("Uso incorrecto de los parametros. exe  input.bmp output.bmp [cg]\n", stderr);
    return 1;
  }
  try {
    BmpHeader header;
    BmpImage image = readBMP(argv[1], header);
    const BmpLayout& layout = image.layout;
    const Buffer gray = RGB2BW(image.pixels.bytes(), layout);

    // Zero-filled, so the frame and an uncomputed image are written as level 0.
    const std::size_t count = layout.rows * static_cast<std::size_t>(layout.width);
    const Buffer edges(count * sizeof(float));
    const char mode = argv[3][0];
    if (mode == 'c' || mode == 'g') {
      border(gray.floats(), edges.floats(), static_cast<int>(layout.rows), layout.width);
    } else {
      std::puts("Not Implemented yet!!");
    }

    // The pixel bytes are dead once gray; their buffer takes the output bytes.
    const std::int64_t written = writeBMP(edges.floats(), argv[2], header, layout, image.pixels);
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
  if (std::fflush(stdout) != 0) return 1;
  return 0;
}
