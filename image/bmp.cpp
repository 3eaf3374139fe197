#include "image/bmp.hpp"

#include <cstdarg>
#include <string>

#include "common/read_fully.hpp"
#include "common/standard_streams.hpp"

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

BmpLayout readHeader(int fd, const char* name, BmpHeader& header, std::FILE* progress) {
  const std::int64_t got = readFully(fd, header.bytes, kHeaderSize);
  if (got < 0) throw BmpError(systemError(name));
  if (got < static_cast<std::int64_t>(kHeaderSize)) {
    throw tooShort(got);
  }
  return checkHeader(header, progress);
}

BmpError tooShort(std::int64_t got) {
  return BmpError(format("Entrada muy pequenia (%d bytes)\n", static_cast<int>(got)));
}

BmpError sizeMismatch(std::uint64_t read, std::size_t declared) {
  return BmpError(format("File size incorrect: %d bytes read insted of %d\n",
                         static_cast<int>(read), static_cast<int>(declared)));
}

void printReadLine(const BmpLayout& layout, std::FILE* progress) {
  std::fprintf(progress, "Image read correctly (width=%i height=%i, imagesize=%i).\n", layout.width,
               layout.height, static_cast<int>(layout.dataSize));
}

void printSweepTime(double seconds, std::FILE* progress) {
  std::fprintf(progress, "Exection time %f ms.\n", seconds * 1000);
}

BmpError shortWrite(std::uint64_t written, std::int32_t fileSize) {
  return BmpError(format("Escritos %d de %d bytes\n", static_cast<int>(written), fileSize));
}
