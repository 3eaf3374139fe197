#include "image/bmp.hpp"

#include <fcntl.h>
#include <sys/stat.h>
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

// The pixel data of one file, read through the block with a count of every
// byte, so that a file shorter or longer than declared says how much it held.
class PixelReader {
 public:
  PixelReader(int fd, const char* name, std::size_t declared, std::uint8_t* block)
      : fd_(fd), name_(name), declared_(declared), block_(block) {}

  // The next n bytes of the file (n ≤ kBlockBytes), in the block.
  const std::uint8_t* take(std::size_t n) {
    const std::int64_t got = readFully(fd_, block_, n);
    if (got < 0) throw BmpError(systemError(name_));
    done_ += static_cast<std::uint64_t>(got);
    if (static_cast<std::size_t>(got) < n) throw sizeMismatch(done_, declared_);
    return block_;
  }

  // One byte more than declared must not be there.
  void expectEnd() {
    const std::int64_t got = readFully(fd_, block_, 1);
    if (got < 0) throw BmpError(systemError(name_));
    if (got > 0) throw sizeMismatch(declared_ + 1, declared_);
  }

 private:
  int fd_;
  const char* name_;
  std::size_t declared_;
  std::uint8_t* block_;
  std::uint64_t done_ = 0;
};

// Gathers the output in the block and writes it whenever kBlockBytes are
// ready, so that every write but the last covers whole pages of the file.
class BlockWriter {
 public:
  BlockWriter(int fd, std::uint8_t* block) : fd_(fd), block_(block) {}

  // Where the next bytes go; there is room for one piece of a row.
  std::uint8_t* end() { return block_ + fill_; }
  void added(std::size_t n) {
    fill_ += n;
    if (fill_ < kBlockBytes) return;
    send(kBlockBytes);
    fill_ -= kBlockBytes;
    std::memmove(block_, block_ + kBlockBytes, fill_);
  }
  void zeros(std::size_t n) {
    while (n > 0) {
      const std::size_t step = std::min<std::size_t>(n, 3 * kPiecePixels);
      std::memset(end(), 0, step);
      added(step);
      n -= step;
    }
  }
  void finish() {
    send(fill_);
    fill_ = 0;
  }
  bool failed() const { return failed_; }
  std::size_t written() const { return written_; }

 private:
  void send(std::size_t n) {
    for (std::size_t done = 0; done < n && !failed_;) {
      const ssize_t k = write(fd_, block_ + done, n - done);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) {
        failed_ = true;
        break;
      }
      done += static_cast<std::size_t>(k);
      written_ += static_cast<std::size_t>(k);
    }
  }

  int fd_;
  std::uint8_t* block_;
  std::size_t fill_ = 0;
  std::size_t written_ = 0;
  bool failed_ = false;
};

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

GrayImage readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress) {
  const std::int64_t got = readFully(fd, header.bytes, kHeaderSize);
  if (got < 0) throw BmpError(systemError(name));
  if (got < static_cast<std::int64_t>(kHeaderSize)) {
    throw BmpError(format("Entrada muy pequenia (%d bytes)\n", static_cast<int>(got)));
  }
  GrayImage image;
  image.layout = checkHeader(header, progress);
  const BmpLayout& layout = image.layout;
  const std::size_t data = layout.dataSize;

  // A regular file's size tells the outcome of the reads below: a header
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

  const auto width = static_cast<std::size_t>(layout.width);
  const std::size_t grayBytes = (layout.rows * width * sizeof(float) + 63) & ~std::size_t{63};
  image.memory = Buffer(grayBytes + kBlockBytes + 3 * kPiecePixels);
  image.gray = image.memory.floats();
  image.block = image.memory.bytes() + grayBytes;

  // The pixel bytes pass through the block a few rows at a time and are
  // turned to gray at once, while they are still in the cache.
  PixelReader in(fd, name, data, image.block);
  const std::size_t rowBytes = 3 * width;
  if (layout.stride <= kBlockBytes) {
    const std::size_t perBlock = kBlockBytes / layout.stride;
    for (std::size_t r = 0; r < layout.rows; r += perBlock) {
      const std::size_t rows = std::min(perBlock, layout.rows - r);
      RGB2BW(in.take(rows * layout.stride), layout.stride, layout.width, rows,
             image.gray + r * width);
    }
  } else {
    for (std::size_t r = 0; r < layout.rows; ++r) {
      for (std::size_t c = 0; c < width; c += kPiecePixels) {
        const std::size_t pixels = std::min<std::size_t>(kPiecePixels, width - c);
        RGB2BW(in.take(3 * pixels), 3 * pixels, static_cast<int>(pixels), 1,
               image.gray + r * width + c);
      }
      in.take(layout.stride - rowBytes);
    }
  }
  for (std::size_t rest = data - layout.rows * layout.stride; rest > 0;) {
    const std::size_t step = std::min(rest, kBlockBytes);
    in.take(step);
    rest -= step;
  }
  in.expectEnd();
  std::fprintf(progress, "Image read correctly (width=%i height=%i, imagesize=%i).\n", layout.width,
               layout.height, static_cast<int>(data));
  return image;
}

GrayImage readBMP(const char* path, BmpHeader& header, std::FILE* progress) {
  const Descriptor fd(open(path, O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw BmpError(systemError(path));
  return readBMP(fd.get(), path, header, progress);
}

std::int64_t writeBMP(const ByteLevels& levels, const char* path, const BmpHeader& header,
                      const BmpLayout& layout, std::uint8_t* block) {
  // No O_TRUNC: truncating an old output first frees every cached page of it
  // only to allocate them all again. It is written over, then cut to size.
  Descriptor fd(open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw BmpError(systemError(path));
  struct stat info;
  const bool regular = fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
  const std::size_t total = kHeaderSize + layout.dataSize;
  // A file that must grow gets its blocks in one call rather than one
  // block of writes at a time. Where that fails, the writes still go on.
  std::uint64_t size = regular ? static_cast<std::uint64_t>(info.st_size) : 0;
  if (regular && size < total && fallocate(fd.get(), 0, 0, static_cast<off_t>(total)) == 0) {
    size = total;
  }

  BlockWriter out(fd.get(), block);
  std::memcpy(out.end(), header.bytes, kHeaderSize);
  out.added(kHeaderSize);
  const Isa isa = activeIsa();
  const auto width = static_cast<std::size_t>(layout.width);
  for (std::size_t r = 0; r < layout.rows && !out.failed(); ++r) {
    if (levels.first == nullptr || r == 0 || r + 1 == layout.rows) {
      out.zeros(3 * width);
    } else {
      const std::uint8_t* row = levels.first + (r - 1) * levels.pitch;
      // Rows lie a pitch apart, which the hardware prefetcher does not
      // follow; asking for the next row now halves the time of this loop.
      if (r + 2 < layout.rows) {
        for (std::size_t c = 0; c < width; c += 64) __builtin_prefetch(row + levels.pitch + c);
      }
      for (std::size_t c = 0; c < width; c += kPiecePixels) {
        const std::size_t pixels = std::min<std::size_t>(kPiecePixels, width - c);
        tripleBytesKernel(isa, row + c, static_cast<int>(pixels), out.end());
        out.added(3 * pixels);
      }
    }
    out.zeros(layout.stride - 3 * width);
  }
  out.zeros(layout.dataSize - layout.rows * layout.stride);
  out.finish();

  const std::size_t written = out.written();
  // Whatever the old file held past what was written now goes; a complete
  // output that cannot be cut would carry stale bytes, so that is an error.
  if (regular && size > written && ftruncate(fd.get(), static_cast<off_t>(written)) != 0 &&
      written == total) {
    throw BmpError(systemError(path));
  }
  // A failing close (delayed write errors on some file systems) means the
  // bytes cannot be trusted to be in the file. After a short write, the
  // count already says what went wrong.
  if (close(fd.release()) != 0 && written == total) throw BmpError(systemError(path));
  return static_cast<std::int64_t>(written);
}
