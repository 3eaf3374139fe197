#include "image/bmp.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/bands.hpp"
#include "image/kernels.hpp"
#include "image/run.hpp"
#include "tests/helpers.hpp"
#include "tests/oracle/image_oracle.hpp"

namespace {

struct Captured {
  std::string progress;
  std::string error;  // empty when readBMP succeeded
  BmpInput image;
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

// The row layout, and the gray rows a run holds: none below 3×3, where every
// level is 0.
TEST(ReadBmp, ChoosesPaddedOrPackedRows) {
  const struct {
    std::int32_t width, height;
    std::size_t data;
    std::size_t stride;  // 0: rejected
    std::size_t ringRows;
  } cases[] = {
      {5, 3, 48, 16, 3},               // padded: 15 bytes a row rounded to 16
      {5, 3, 45, 15, 3},               // packed
      {5, 3, 47, 15, 3},               // too short for padded rows, long enough for packed
      {5, 3, 50, 16, 3},               // trailing bytes after the last padded row
      {5, 3, 44, 0, 0},                // too short for either
      {5, -3, 48, 16, 3},              // top-down
      {4, 2, 24, 12, 0},               // rows already a multiple of 4
      {1, 1, 3, 3, 0},                 // one pixel, packed
      {1, 1, 4, 4, 0},                 // one pixel, padded
      {2, 100, 800, 8, 0},             // two columns
      {200000, 1, 600000, 600000, 0},  // one row wider than the blocks
      {100000, 3, 900000, 300000, 3},  // three such rows: the widest ring
  };
  for (const auto& c : cases) {
    Bytes file = bmpHeader(static_cast<std::int32_t>(54 + c.data), c.width, c.height);
    file.resize(54 + c.data, 3);
    const std::string what =
        std::to_string(c.width) + "x" + std::to_string(c.height) + " in " + std::to_string(c.data);
    const Captured got = readBytes(file);
    if (c.stride == 0) {
      EXPECT_NE(got.error, "") << what;
      continue;
    }
    ASSERT_EQ(got.error, "") << what;
    const BmpLayout& layout = got.image.layout;
    EXPECT_EQ(layout.stride, c.stride) << what;
    EXPECT_EQ(layout.rows, static_cast<std::size_t>(std::abs(c.height)));
    EXPECT_EQ(layout.height, c.height);
    EXPECT_EQ(got.image.plan.ringRows, c.ringRows) << what;
  }
}

// Runs the program's whole run in-process; returns its failure message.
std::string runInProcess(const std::string& input, const std::string& output) {
  std::FILE* const sink = std::fopen("/dev/null", "w");
  std::string error;
  try {
    runImage(input.c_str(), output.c_str(), 'c', sink);
  } catch (const BmpError& e) {
    error = e.what();
  }
  std::fclose(sink);
  return error;
}

TEST_P(EveryPath, RunRewritesAnExistingFileInPlace) {
  const std::string dir = tempDir();
  const std::string in = dir + "/in.bmp", path = dir + "/out.bmp", other = dir + "/other-name.bmp";
  const Bytes file = bmpFile(6, 4, true, 9, 3);  // padded rows and 3 trailing bytes: 137 bytes
  writeFile(in, file);
  const Bytes want = oracle::imageOutput(file.data(), readBytes(file).image.layout, true);
  for (const std::size_t oldSize :
       {std::size_t{0}, std::size_t{20}, std::size_t{137}, std::size_t{5000}}) {
    unlink(path.c_str());
    unlink(other.c_str());
    writeFile(path, Bytes(oldSize, 0x5A));
    chmod(path.c_str(), 0640);
    ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
    struct stat before;
    stat(path.c_str(), &before);
    EXPECT_EQ(runInProcess(in, path), "") << oldSize;
    struct stat after;
    stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << oldSize;
    EXPECT_EQ(after.st_mode & 07777, 0640u) << oldSize;
    EXPECT_EQ(readFile(path), want) << oldSize;
    EXPECT_EQ(readFile(other), want) << oldSize;
  }
}

// Another process cuts or lengthens the input after its size was checked.
// Into another file the run leaves exactly the bytes written; in place it
// cuts nothing, so the file keeps the rows not yet converted.
TEST(RunImage, RegularInputChangingAfterItsCheckStopsTheRun) {
  const std::string dir = tempDir();
  const Bytes file = bmpFile(1024, 600, true);  // 1843254 bytes, over two blocks
  const struct {
    bool inPlace;
    std::size_t changedSize;
    const char* err;
  } cases[] = {
      {false, 1500000, "File size incorrect: 1499946 bytes read insted of 1843200\n"},
      {false, 1843255, "File size incorrect: 1843201 bytes read insted of 1843200\n"},
      {true, 1843255, "File size incorrect: 1843201 bytes read insted of 1843200\n"},
  };
  for (const auto& c : cases) {
    const std::string in = dir + "/in.bmp", out = c.inPlace ? in : dir + "/out.bmp";
    writeFile(in, file);
    unlink((dir + "/out.bmp").c_str());
    std::FILE* const sink = std::fopen("/dev/null", "w");
    const int fd = open(in.c_str(), O_RDWR);
    BmpHeader header;
    const BmpInput image = readBMP(fd, in.c_str(), header, sink, 4);
    Bytes changed = file;
    changed.resize(c.changedSize, 0x77);
    ASSERT_EQ(pwrite(fd, changed.data() + file.size(),
                     changed.size() - std::min(changed.size(), file.size()),
                     static_cast<off_t>(file.size())) >= 0,
              true);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(c.changedSize)), 0);
    PixelSource pixels(fd, in.c_str(), image.layout.dataSize, image.bands.in, image.plan.inBytes);
    try {
      OutputFile output(out.c_str(), file.size(), image.bands.out, image.plan.outBytes, image.file);
      runBands(image.layout, header, true, image.plan, image.bands.ring, pixels, output);
      ADD_FAILURE() << "the run went on past the end of the file";
    } catch (const BmpError& e) {
      EXPECT_EQ(std::string(e.what()), c.err);
    }
    close(fd);
    std::fclose(sink);
    const Bytes got = readFile(out);
    const Bytes want = oracle::imageOutput(file.data(), image.layout, true);
    const std::size_t converted =
        std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
    EXPECT_GT(converted, 54u) << c.changedSize;
    if (c.inPlace) {
      // The rows converted, then the rest as it was.
      EXPECT_EQ(got.size(), c.changedSize);
      EXPECT_TRUE(std::equal(got.begin() + converted, got.end(), changed.begin() + converted));
    } else {
      EXPECT_EQ(got.size(), converted) << c.changedSize;
    }
  }
}

}  // namespace
