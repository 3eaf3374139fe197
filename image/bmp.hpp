#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "common/buffer.hpp"
#include "image/kernels.hpp"

inline constexpr std::size_t kHeaderSize = 54;
// Largest pixel-data size accepted: a 4096 x 4096 image, 48 MiB.
inline constexpr std::uint32_t kMaxDataSize = 0x3000000;
// Files are read and written through one block of this size: small enough to
// stay in the cache, large enough that system calls cost little.
inline constexpr std::size_t kBlockBytes = std::size_t{512} << 10;
// Rows wider than a block are read and written in pieces of this many pixels.
inline constexpr int kPiecePixels = 16384;

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

// An image read as gray levels, with the memory of the rest of the run: one
// mapping holds the gray array and the block that files pass through.
struct GrayImage {
  BmpLayout layout;
  Buffer memory;
  float* gray = nullptr;          // W·|H| levels, rows in file order
  std::uint8_t* block = nullptr;  // kBlockBytes and room for one more piece
};

// Validates a header in the program's order. The size line goes to progress
// once the signature has passed, before the size itself is tested.
BmpLayout checkHeader(const BmpHeader& header, std::FILE* progress);

// Reads and validates a BMP file from an open descriptor or a path, turning
// each block of pixel rows to gray as it arrives; name is used in system error
// messages. Progress lines go to progress.
GrayImage readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress);
GrayImage readBMP(const char* path, BmpHeader& header, std::FILE* progress = stdout);

// Writes the header, then each level repeated in the three colour bytes of
// its pixel, in the input's row layout with zero padding and trailing bytes.
// An existing file is written over in place and then cut to S bytes, so it
// keeps its inode, mode and other names. Returns how many bytes reached the
// file (S when all went well); a file left short holds just those bytes.
// block is scratch of kBlockBytes and one piece. Throws BmpError when the
// file cannot be opened, or cannot be cut or closed after a complete write.
std::int64_t writeBMP(const ByteLevels& levels, const char* path, const BmpHeader& header,
                      const BmpLayout& layout, std::uint8_t* block);
