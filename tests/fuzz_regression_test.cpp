// Every input in the fuzzer's seed corpus and every input it ever found to
// crash, and generated files of awkward shapes, go through the pipeline the
// fuzzer runs, on every instruction set this CPU has.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/pipeline.hpp"
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

TEST_P(EveryPath, GeneratedFilesRunCleanly) {
  // Padded and packed rows, top-down, one row or column, widths around the
  // vector lengths, and a row wider than the block the files pass through.
  const struct {
    std::int32_t width, height;
    bool padded;
  } shapes[] = {{1, 1, true},    {3, 3, false},   {5, 4, true},     {17, -9, true},
                {33, 31, false}, {64, 3, true},   {1, 200, true},   {129, 70, true},
                {200, 2, false}, {1025, 9, true}, {180000, 3, true}};
  for (const auto& s : shapes) {
    const Bytes file = bmpFile(s.width, s.height, s.padded, s.width + s.height);
    SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
    runImagePipeline(file.data(), file.size(), GetParam());
  }
}

INSTANTIATE_TEST_SUITE_P(Pipeline, EveryPath, ::testing::ValuesIn(kAllIsas), isaTestName);

}  // namespace
