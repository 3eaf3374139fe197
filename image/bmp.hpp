#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "common/buffer.hpp"

inline constexpr std::size_t kHeaderSize = 54;
// Largest pixel-data size accepted: a 4096 x 4096 image, 48 MiB.
inline constexpr std::uint32_t kMaxDataSize = 0x3000000;

// The 54-byte file and information headers exactly as stored in the file.
struct BmpHeader {
  std::uint8_t bytes[kHeaderSize];
};

// A failure of reading or writing a file, carrying the exact text (newline
// included) that the program prints on standard error before exiting with 1.
class BmpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the pixels sit inside the D data bytes that follow the header.
struct BmpLayout {
  std::int32_t width = 0;     // W
  std::int32_t height = 0;    // H as stored; negative means top-down
  std::size_t rows = 0;       // |H|
  std::size_t stride = 0;     // bytes from one row to the next: 3·W padded to 4, or packed
  std::size_t dataSize = 0;   // D = S − 54
  std::int32_t fileSize = 0;  // S
};

struct BmpImage {
  BmpLayout layout;
  // The D bytes read from the file. The buffer holds at least D + 1 bytes and
  // room for the image as floats, so it can take the edge levels once the
  // pixel bytes are no longer needed.
  Buffer pixels;
};

// Validates a header in the program's order. The size line goes to progress
// once the signature has passed, before the size itself is tested.
BmpLayout checkHeader(const BmpHeader& header, std::FILE* progress);

// Reads and validates a BMP file from an open descriptor or a path; name is
// used in system error messages. Progress lines go to progress.
BmpImage readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress);
BmpImage readBMP(const char* path, BmpHeader& header, std::FILE* progress = stdout);

// Fills out (D bytes) with the gray triples of levels in the input's row
// layout; row padding and any bytes after the last row are zero.
void encodeLevels(const float* levels, const BmpLayout& layout, std::uint8_t* out);

// Writes the header and the encoded levels to path and returns how many bytes
// really reached the file (S when all went well). block is scratch for the
// encoded bytes, reused when it holds at least D bytes. Throws BmpError when
// the file cannot be opened, or cannot be closed after every byte was written.
std::int64_t writeBMP(const float* levels, const char* path, const BmpHeader& header,
                      const BmpLayout& layout, Buffer& block);
