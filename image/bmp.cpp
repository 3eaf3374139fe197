#include "image/bmp.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "common/standard_streams.hpp"
#include "image/kernels.hpp"

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char text[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  return text;
}

std::uint32_t le32(const BmpHeader& h, std::size_t at) {
  return std::uint32_t{h.bytes[at]} | std::uint32_t{h.bytes[at + 1]} << 8 |
         std::uint32_t{h.bytes[at + 2]} << 16 | std::uint32_t{h.bytes[at + 3]} << 24;
}

std::uint16_t le16(const BmpHeader& h, std::size_t at) {
  return static_cast<std::uint16_t>(h.bytes[at] | h.bytes[at + 1] << 8);
}

// Reads until count bytes have arrived or the file ends; -1 on an error.
std::int64_t readFully(int fd, std::uint8_t* to, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = read(fd, to + got, count - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    got += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(got);
}

BmpError sizeMismatch(std::uint64_t read, std::size_t declared) {
  return BmpError(format("File size incorrect: %d bytes read insted of %d\n",
                         static_cast<int>(read), static_cast<int>(declared)));
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace

BmpLayout checkHeader(const BmpHeader& header, std::FILE* progress) {
  if (header.bytes[0] != 'B' || header.bytes[1] != 'M') throw BmpError("No BMP\n");

  BmpLayout layout;
  layout.fileSize = static_cast<std::int32_t>(le32(header, 2));
  // S − 54 wraps like the 32-bit field it comes from.
  const auto data = static_cast<std::int32_t>(static_cast<std::uint32_t>(layout.fileSize) - 54u);
  std::fprintf(progress, "Tamanio archivo = %d\n", data);
  if (static_cast<std::uint32_t>(data) - 1u > kMaxDataSize - 1u) {
    throw BmpError(format("Imagen muy grande: %d bytes\n", data));
  }
  layout.dataSize = static_cast<std::size_t>(data);

  if (le32(header, 10) != kHeaderSize || le16(header, 28) != 24) {
    throw BmpError("No color 24-bit\n");
  }
  if (le32(header, 30) != 0) throw BmpError("Compresion no suportada\n");

  layout.width = static_cast<std::int32_t>(le32(header, 18));
  layout.height = static_cast<std::int32_t>(le32(header, 22));
  const std::string badSize =
      format("Dimensiones incorrectas (width=%d height=%d) para %d bytes de imagen\n", layout.width,
             layout.height, data);
  if (layout.width < 1 || layout.height == 0) throw BmpError(badSize);
  // A negative height is a top-down file; its rows are still used in file order.
  const std::uint64_t rows = layout.height < 0 ? -static_cast<std::int64_t>(layout.height)
                                               : static_cast<std::int64_t>(layout.height);
  const std::uint64_t rowBytes = 3 * static_cast<std::uint64_t>(layout.width);
  const std::uint64_t padded = (rowBytes + 3) & ~std::uint64_t{3};
  // BMP writers pad each row to 4 bytes; data too short for that but long
  // enough for rows of 3·W bytes is taken as packed.
  if (rows <= layout.dataSize / padded) {
    layout.stride = padded;
  } else if (rows <= layout.dataSize / rowBytes) {
    layout.stride = rowBytes;
  } else {
    throw BmpError(badSize);
  }
  layout.rows = rows;
  return layout;
}

BmpImage readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress) {
  const std::int64_t got = readFully(fd, header.bytes, kHeaderSize);
  if (got < 0) throw BmpError(systemError(name));
  if (got < static_cast<std::int64_t>(kHeaderSize)) {
    throw BmpError(format("Entrada muy pequenia (%d bytes)\n", static_cast<int>(got)));
  }
  BmpImage image;
  image.layout = checkHeader(header, progress);
  const std::size_t data = image.layout.dataSize;

  // A regular file's size tells the outcome of the read below: a header
  // claiming more data than the file holds costs no allocation.
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at >= 0 && info.st_size >= at) {
      const auto available = static_cast<std::uint64_t>(info.st_size - at);
      if (available != data) {
        const std::uint64_t n = available < data + 1 ? available : data + 1;
        throw sizeMismatch(n, data);
      }
    }
  }
  // One byte more than declared, so that a longer file is caught too.
  const std::size_t levels =
      image.layout.rows * static_cast<std::size_t>(image.layout.width) * sizeof(float);
  image.pixels = Buffer(std::max(levels, data + 1));
  const std::int64_t n = readFully(fd, image.pixels.bytes(), data + 1);
  if (n < 0) throw BmpError(systemError(name));
  if (n != static_cast<std::int64_t>(data)) {
    throw sizeMismatch(static_cast<std::uint64_t>(n), data);
  }
  std::fprintf(progress, "Image read correctly (width=%i height=%i, imagesize=%i).\n",
               image.layout.width, image.layout.height, static_cast<int>(n));
  return image;
}

BmpImage readBMP(const char* path, BmpHeader& header, std::FILE* progress) {
  const Descriptor fd(open(path, O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw BmpError(systemError(path));
  return readBMP(fd.get(), path, header, progress);
}

void encodeLevels(const float* levels, const BmpLayout& layout, std::uint8_t* out) {
  const Isa isa = bestIsa();
  const auto width = static_cast<std::size_t>(layout.width);
  const std::size_t rowBytes = 3 * width;
  if (layout.stride == rowBytes) {
    // Rows without padding make one run of levels; W·|H| fits an int once
    // the header has been checked against the 48 MiB limit.
    levelBytesKernel(isa, levels, static_cast<int>(layout.rows * width), out);
  } else {
    for (std::size_t r = 0; r < layout.rows; ++r) {
      std::uint8_t* row = out + r * layout.stride;
      levelBytesKernel(isa, levels + r * width, layout.width, row);
      std::memset(row + rowBytes, 0, layout.stride - rowBytes);
    }
  }
  const std::size_t used = layout.rows * layout.stride;
  std::memset(out + used, 0, layout.dataSize - used);
}

std::int64_t writeBMP(const float* levels, const char* path, const BmpHeader& header,
                      const BmpLayout& layout, Buffer& block) {
  if (block.size() < layout.dataSize) block = Buffer(layout.dataSize);
  // The bytes are ready before the file is opened, so a failure to encode
  // can never leave a truncated file behind.
  encodeLevels(levels, layout, block.bytes());

  Descriptor fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw BmpError(systemError(path));

  iovec parts[2] = {{const_cast<std::uint8_t*>(header.bytes), kHeaderSize},
                    {block.bytes(), layout.dataSize}};
  const std::size_t total = kHeaderSize + layout.dataSize;
  std::size_t written = 0;
  while (written < total) {
    const ssize_t n = writev(fd.get(), parts, 2);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
    // Skip what has gone out; the iovecs then describe what is left.
    std::size_t done = static_cast<std::size_t>(n);
    for (iovec& part : parts) {
      const std::size_t step = done < part.iov_len ? done : part.iov_len;
      part.iov_base = static_cast<std::uint8_t*>(part.iov_base) + step;
      part.iov_len -= step;
      done -= step;
    }
  }
  // A failing close (delayed write errors on some file systems) means the
  // bytes cannot be trusted to be in the file. After a short write, the
  // count already says what went wrong.
  if (close(fd.release()) != 0 && written == total) throw BmpError(systemError(path));
  return static_cast<std::int64_t>(written);
}
