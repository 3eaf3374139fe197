#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

inline constexpr std::size_t kHeaderSize = 54;
// Largest pixel-data size accepted: a 4096 x 4096 image, 48 MiB.
inline constexpr std::uint32_t kMaxDataSize = 0x3000000;

// The 54-byte file and information headers exactly as stored in the file.
struct BmpHeader {
  std::uint8_t bytes[kHeaderSize];
};

// A failure of the program, carrying the exact text (newline included) that
// it prints on standard error before exiting with 1.
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

// Validates a header in the program's order. The size line goes to progress
// once the signature has passed, before the size itself is tested.
BmpLayout checkHeader(const BmpHeader& header, std::FILE* progress);
// Reads the header from an open file (name is used in system error messages)
// and validates it.
BmpLayout readHeader(int fd, const char* name, BmpHeader& header, std::FILE* progress);

// The messages of a run.
BmpError tooShort(std::int64_t got);
BmpError sizeMismatch(std::uint64_t read, std::size_t declared);
void printReadLine(const BmpLayout& layout, std::FILE* progress);
void printSweepTime(double seconds, std::FILE* progress);
BmpError shortWrite(std::uint64_t written, std::int32_t fileSize);
