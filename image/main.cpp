// image: gray conversion and 3×3 Laplacian edges of a 24-bit BMP file.
#include <cstdio>
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
    const GrayImage image = readBMP(argv[1], header);
    const BmpLayout& layout = image.layout;
    // The sweep leaves its levels as bytes inside the gray array, so the run
    // needs no second image-sized array; any other mode writes level 0.
    ByteLevels levels;
    const char mode = argv[3][0];
    if (mode == 'c' || mode == 'g') {
      levels = borderBytes(image.gray, static_cast<int>(layout.rows), layout.width);
    } else {
      std::puts("Not Implemented yet!!");
    }
    const std::int64_t written = writeBMP(levels, argv[2], header, layout, image.block);
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
