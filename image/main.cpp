// image: gray conversion and 3×3 Laplacian edges of a 24-bit BMP file.
#include <cstdio>
#include <new>
#include <string>

#include "common/standard_streams.hpp"
#include "image/bmp.hpp"
#include "image/run.hpp"

int main(int argc, char** argv) {
  holdStandardDescriptors();
  if (argc < 4) {
    std::fputs("Uso incorrecto de los parametros. exe  input.bmp output.bmp [cg]\n", stderr);
    return 1;
  }
  try {
    runImage(argv[1], argv[2], argv[3][0], stdout);
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
