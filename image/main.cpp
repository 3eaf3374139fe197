// image: gray conversion and 3×3 Laplacian edges of a 24-bit BMP file.
#include <csignal>
#include <cstdio>
#include <new>
#include <string>

#include "common/options.hpp"
#include "common/standard_streams.hpp"
#include "image/bmp.hpp"
#include "image/run.hpp"

namespace {
const char kHelp[] =
    "Usage: image INPUT.bmp OUTPUT.bmp MODE\n"
    "Reads a 24-bit uncompressed BMP file, turns it to gray, applies a 3x3 Laplacian\n"
    "edge operator and writes the result as a BMP file with the input's header.\n"
    "\n"
    "Only the first character of MODE counts: c or g writes the edges; anything else\n"
    "prints \"Not Implemented yet!!\", writes an all-black image, says so on standard\n"
    "error and exits with status 1.\n"
    "\n"
    "Progress lines and the operator's time go to standard output. A failure prints\n"
    "one message on standard error and exits with status 1.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and the kernels this CPU runs, and exit\n"
    "\n"
    "EDGESTAR_ISA={isas} runs that instruction set's kernels\n"
    "instead of the fastest this CPU supports (--version lists them).\n"
    "\n"
    "See image(1) for the accepted files and every message.\n";

// Says message on standard error, then that progress lines were lost if
// they could not be written; returns the failure's status.
int fail(const char* message) {
  const std::string lines = flushStandardOutput();
  std::fputs(message, stderr);
  std::fputs(lines.c_str(), stderr);
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  // A file size limit then fails the write with EFBIG, which is reported with
  // the bytes written, instead of killing the program.
  std::signal(SIGXFSZ, SIG_IGN);
  int status = 0;
  if (answerCommonOptions(argc, argv, "image", kHelp, status)) return status;
  if (argc < 4) {
    std::fputs("Uso incorrecto de los parametros. exe  input.bmp output.bmp [cg]\n", stderr);
    return 1;
  }
  try {
    runImage(argv[1], argv[2], argv[3][0], stdout);
  } catch (const BmpError& error) {
    return fail(error.what());
  } catch (const std::bad_alloc&) {
    return fail("Memoria insuficiente\n");
  }
  return finishStandardOutput();
}
