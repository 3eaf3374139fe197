// The file work a streaming run of image cannot avoid, and nothing else:
// start, read the input through one block, and write S bytes to the output
// through another (over an existing file, cutting it to size, or into a new
// one), with the program's block size, reads, writes and preallocation. No
// image-sized memory, no pixel work.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "common/buffer.hpp"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  constexpr std::size_t kBlock = std::size_t{768} << 10;
  const int in = open(argv[1], O_RDONLY);
  const Buffer blocks(2 * kBlock);
  std::uint8_t* const input = blocks.bytes();
  std::uint8_t* const output = blocks.bytes() + kBlock;
  if (in < 0 || read(in, output, 54) != 54) return 1;
  std::int32_t size;
  std::memcpy(&size, output + 2, 4);
  const auto total = static_cast<std::size_t>(size);
  const int out = open(argv[2], O_WRONLY | O_CREAT, 0666);
  struct stat info;
  if (out < 0 || fstat(out, &info) != 0) return 1;
  if (static_cast<std::size_t>(info.st_size) < total) {
    fallocate(out, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(total));
  }
  // A block in, then a block out, as a run's bands make them.
  for (std::size_t taken = 54, written = 0; written < total;) {
    if (taken < total) {
      const std::size_t step = total - taken < kBlock ? total - taken : kBlock;
      if (read(in, input, step) != static_cast<ssize_t>(step)) return 1;
      taken += step;
    }
    const std::size_t step = total - written < kBlock ? total - written : kBlock;
    if (write(out, output, step) != static_cast<ssize_t>(step)) return 1;
    written += step;
  }
  close(in);
  if (static_cast<std::size_t>(info.st_size) > total &&
      ftruncate(out, static_cast<off_t>(total)) != 0) {
    return 1;
  }
  return close(out) == 0 ? 0 : 1;
}
