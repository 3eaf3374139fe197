#include "image/bmp.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "tests/helpers.hpp"

namespace {

struct Captured {
  std::string progress;
  std::string error;  // empty when readBMP succeeded
  BmpImage image;
};

// Runs the reader on bytes held in an in-memory file, as the program would
// on a file with those contents, or on bytes that arrive through a pipe.
Captured readBytes(const Bytes& bytes, bool throughPipe = false) {
  int fd = -1;
  if (throughPipe) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    EXPECT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(ends[1]);
    fd = ends[0];
  } else {
    fd = memfd_create("bmp", 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    lseek(fd, 0, SEEK_SET);
  }
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* progress = open_memstream(&text, &size);
  Captured c;
  BmpHeader header;
  try {
    c.image = readBMP(fd, "in.bmp", header, progress);
  } catch (const BmpError& e) {
    c.error = e.what();
  }
  std::fclose(progress);
  c.progress.assign(text, size);
  std::free(text);
  close(fd);
  return c;
}

Bytes withData(Bytes header, std::size_t dataBytes) {
  header.resize(header.size() + dataBytes, 7);
  return header;
}

TEST(ReadBmp, ReportsEachFailureWithItsExactText) {
  Bytes wrongSignature = bmpHeader(78, 4, 2);
  wrongSignature[0] = 'M';
  wrongSignature[1] = 'B';
  const struct {
    const char* what;
    Bytes file;
    const char* progress;
    const char* error;
  } cases[] = {
      {"empty", {}, "", "Entrada muy pequenia (0 bytes)\n"},
      {"20 bytes", Bytes(20, 'B'), "", "Entrada muy pequenia (20 bytes)\n"},
      {"signature", wrongSignature, "", "No BMP\n"},
      {"no data", bmpHeader(54, 4, 2), "Tamanio archivo = 0\n", "Imagen muy grande: 0 bytes\n"},
      {"negative data", bmpHeader(10, 4, 2), "Tamanio archivo = -44\n",
       "Imagen muy grande: -44 bytes\n"},
      {"one past the limit", bmpHeader(50331703, 4096, 4096), "Tamanio archivo = 50331649\n",
       "Imagen muy grande: 50331649 bytes\n"},
      {"S wraps", bmpHeader(INT32_MIN + 10, 4, 2), "Tamanio archivo = 2147483604\n",
       "Imagen muy grande: 2147483604 bytes\n"},
      {"32 bits", withData(bmpHeader(78, 4, 2, 54, 32), 24), "Tamanio archivo = 24\n",
       "No color 24-bit\n"},
      {"offset 138", withData(bmpHeader(78, 4, 2, 138), 24), "Tamanio archivo = 24\n",
       "No color 24-bit\n"},
      {"compressed", withData(bmpHeader(78, 4, 2, 54, 24, 1), 24), "Tamanio archivo = 24\n",
       "Compresion no suportada\n"},
      {"zero width", withData(bmpHeader(78, 0, 2), 24), "Tamanio archivo = 24\n",
       "Dimensiones incorrectas (width=0 height=2) para 24 bytes de imagen\n"},
      {"negative width", withData(bmpHeader(78, -4, 2), 24), "Tamanio archivo = 24\n",
       "Dimensiones incorrectas (width=-4 height=2) para 24 bytes de imagen\n"},
      {"zero height", withData(bmpHeader(78, 4, 0), 24), "Tamanio archivo = 24\n",
       "Dimensiones incorrectas (width=4 height=0) para 24 bytes de imagen\n"},
      {"too many rows", withData(bmpHeader(78, 4, 3), 24), "Tamanio archivo = 24\n",
       "Dimensiones incorrectas (width=4 height=3) para 24 bytes de imagen\n"},
      {"huge", withData(bmpHeader(78, INT32_MAX, INT32_MIN), 24), "Tamanio archivo = 24\n",
       "Dimensiones incorrectas (width=2147483647 height=-2147483648) para 24 bytes de imagen\n"},
      {"one byte short", withData(bmpHeader(78, 4, 2), 23), "Tamanio archivo = 24\n",
       "File size incorrect: 23 bytes read insted of 24\n"},
      {"one byte long", withData(bmpHeader(78, 4, 2), 25), "Tamanio archivo = 24\n",
       "File size incorrect: 25 bytes read insted of 24\n"},
  };
  for (const auto& c : cases) {
    for (const bool throughPipe : {false, true}) {
      const Captured got = readBytes(c.file, throughPipe);
      EXPECT_EQ(got.progress, c.progress) << c.what << (throughPipe ? " (pipe)" : "");
      EXPECT_EQ(got.error, c.error) << c.what << (throughPipe ? " (pipe)" : "");
    }
  }
}

TEST(ReadBmp, AcceptsTheLargestImage) {
  const Captured got = readBytes(bmpFile(4096, 4096, true));
  EXPECT_EQ(got.error, "");
  EXPECT_EQ(got.progress,
            "Tamanio archivo = 50331648\n"
            "Image read correctly (width=4096 height=4096, imagesize=50331648).\n");
}

TEST(ReadBmp, ChoosesPaddedOrPackedRows) {
  const struct {
    std::int32_t width, height;
    std::size_t data;
    std::size_t stride;  // 0: rejected
  } cases[] = {
      {5, 3, 48, 16},   // padded: 15 bytes a row rounded to 16
      {5, 3, 45, 15},   // packed
      {5, 3, 47, 15},   // too short for padded rows, long enough for packed
      {5, 3, 50, 16},   // trailing bytes after the last padded row
      {5, 3, 44, 0},    // too short for either
      {5, -3, 48, 16},  // top-down
      {4, 2, 24, 12},   // rows already a multiple of 4
      {1, 1, 3, 3},     // one pixel, packed
      {1, 1, 4, 4},     // one pixel, padded
  };
  for (const auto& c : cases) {
    const Captured got = readBytes(
        withData(bmpHeader(static_cast<std::int32_t>(54 + c.data), c.width, c.height), c.data));
    if (c.stride == 0) {
      EXPECT_NE(got.error, "") << c.width << "x" << c.height << " in " << c.data;
      continue;
    }
    ASSERT_EQ(got.error, "") << c.width << "x" << c.height << " in " << c.data;
    EXPECT_EQ(got.image.layout.stride, c.stride) << c.width << "x" << c.height << " in " << c.data;
    EXPECT_EQ(got.image.layout.rows, static_cast<std::size_t>(std::abs(c.height)));
    EXPECT_EQ(got.image.layout.height, c.height);
    EXPECT_EQ(0, std::memcmp(got.image.pixels.bytes(), Bytes(c.data, 7).data(), c.data));
  }
}

TEST(WriteBmp, EncodesTruncatedLevelsInTheInputRowLayout) {
  // 2×2 levels into padded rows (6 bytes + 2 padding) and two stray tail bytes.
  const float levels[] = {254.9f, 0.7f, 255.0f, 63.75f};
  BmpLayout layout;
  layout.width = 2;
  layout.height = -2;
  layout.rows = 2;
  layout.stride = 8;
  layout.dataSize = 18;
  Bytes out(18, 0xAA);
  encodeLevels(levels, layout, out.data());
  const Bytes want = {254, 254, 254, 0, 0, 0, 0, 0, 255, 255, 255, 63, 63, 63, 0, 0, 0, 0};
  EXPECT_EQ(out, want);
}

TEST(WriteBmp, WritesHeaderAndEveryDeclaredByte) {
  const std::string dir = tempDir();
  const Captured in = readBytes(bmpFile(4, 2, true));
  ASSERT_EQ(in.error, "");
  const Bytes headerBytes = bmpHeader(78, 4, 2);
  BmpHeader header;
  std::memcpy(header.bytes, headerBytes.data(), 54);
  const Buffer levels(8 * sizeof(float));
  for (int k = 0; k < 8; ++k) levels.floats()[k] = static_cast<float>(k * 30) + 0.5f;
  Buffer block;
  EXPECT_EQ(writeBMP(levels.floats(), (dir + "/out.bmp").c_str(), header, in.image.layout, block),
            78);
  Bytes want = headerBytes;
  for (int k = 0; k < 8; ++k) want.insert(want.end(), 3, static_cast<std::uint8_t>(k * 30));
  EXPECT_EQ(readFile(dir + "/out.bmp"), want);

  EXPECT_EQ(writeBMP(levels.floats(), "/dev/full", header, in.image.layout, block), 0);
  try {
    writeBMP(levels.floats(), (dir + "/missing/out.bmp").c_str(), header, in.image.layout, block);
    ADD_FAILURE() << "opening a file in a missing directory succeeded";
  } catch (const BmpError& e) {
    EXPECT_EQ(std::string(e.what()), dir + "/missing/out.bmp: No such file or directory\n");
  }
}

}  // namespace
