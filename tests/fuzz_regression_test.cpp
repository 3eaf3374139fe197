// Every input in the fuzzer's seed corpus and every input it ever found to
// crash, and generated files of awkward shapes, go through the pipeline the
// fuzzer runs, on every instruction set this CPU has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "fuzz/pipeline.hpp"
#include "image/bands.hpp"
#include "image/bmp.hpp"
#include "tests/helpers.hpp"

namespace {

TEST_P(EveryPath, FuzzCorpusAndFindingsRunCleanly) {
  int inputs = 0;
  for (const char* dir : {"corpus", "regressions"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(FUZZ_DIR) + "/" + dir)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      const Bytes bytes = readFile(entry.path().string());
      SCOPED_TRACE(entry.path().string());
      runImagePipeline(bytes.data(), bytes.size(), GetParam());
      ++inputs;
    }
  }
  EXPECT_GE(inputs, 13);
}

struct Shape {
  std::int32_t width, height;
  bool padded;
  std::size_t trailing;
};

// The rows the program puts in a band for images of this width.
std::int32_t bandRows(std::int32_t width) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  BmpHeader header;
  const Bytes h = bmpHeader(54 + 3 * width, width, 1);
  std::copy(h.begin(), h.end(), header.bytes);
  return static_cast<std::int32_t>(planBands(checkHeader(header, sink)).bandRows);
}

TEST_P(EveryPath, GeneratedFilesRunCleanly) {
  // Padded and packed rows, top-down, one row or column, widths around the
  // vector lengths, and rows wider than the blocks the files pass through.
  std::vector<Shape> shapes = {{1, 1, true, 0},     {3, 3, false, 0},     {5, 4, true, 7},
                               {17, -9, true, 0},   {33, 31, false, 0},   {64, 3, true, 1},
                               {1, 200, true, 0},   {129, 70, true, 0},   {200, 2, false, 0},
                               {1025, 9, true, 0},  {180000, 3, true, 0}, {200000, 2, false, 0},
                               {200000, 3, true, 5}};
  // Heights around the program's own bands: a first band takes B + 2 rows,
  // each later one B, so B + 3 leaves a last band of one row.
  for (const std::int32_t width : {1, 2, 3, 4, 17}) {
    const std::int32_t b = bandRows(width);
    for (const std::int32_t height : {1, 2, 3, 4, b - 1, b, b + 1, b + 2, b + 3, 2 * b + 1}) {
      shapes.push_back(
          {width, width == 17 ? -height : height, height % 2 == 0, width == 3 ? 2u : 0u});
    }
  }
  for (const auto& s : shapes) {
    const Bytes file = bmpFile(s.width, s.height, s.padded, s.width + s.height, s.trailing);
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    runImagePipeline(file.data(), file.size(), GetParam());
  }
}

INSTANTIATE_TEST_SUITE_P(Pipeline, EveryPath, ::testing::ValuesIn(kAllIsas), isaTestName);

}  // namespace
