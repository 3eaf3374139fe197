#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdio>

#include "common/buffer.hpp"
#include "image/bands.hpp"
#include "image/bmp.hpp"

// A validated input and the memory of the rest of its run.
struct BmpInput {
  struct stat file = {};  // what the input is, for telling whether the output is it
  BmpLayout layout;
  BandPlan plan;
  BandMemory bands;
  // The pixel bytes of an input that is not a regular file (a pipe, a
  // character device), held whole: its length is known only at its end, and
  // a short or long input must leave nothing written. Empty for a regular
  // file, whose size was checked and whose bytes are read band by band.
  Buffer held;
};

// Identifies the input, reads and validates the header, checks the input's
// length (from its size, or by holding its bytes), allocates the run's memory
// and prints the read line. name is used in system error messages. Throws
// BmpError.
BmpInput readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress,
                 std::size_t bandRows = 0);

// The whole program: reads input, writes its edges (mode 'c' or 'g') or an
// all-black image (any other mode) to output, printing progress lines and the
// sweep's time. Throws BmpError with the message of any failure, once every
// line of standard output has been printed, and after writing the black image
// of any other mode; std::bad_alloc when memory runs out. bandRows 0 lets the
// image choose its bands.
void runImage(const char* input, const char* output, char mode, std::FILE* progress,
              std::size_t bandRows = 0);
