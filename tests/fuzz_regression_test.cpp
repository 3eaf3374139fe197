// Every input in the fuzzer's seed corpus and every input it ever found to
// crash goes through the same pipeline the fuzzer runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/pipeline.hpp"
#include "tests/helpers.hpp"

namespace {

TEST(FuzzRegression, CorpusAndFindingsRunCleanly) {
  int inputs = 0;
  for (const char* dir : {"corpus", "regressions"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(FUZZ_DIR) + "/" + dir)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
      const Bytes bytes = readFile(entry.path().string());
      SCOPED_TRACE(entry.path().string());
      runImagePipeline(bytes.data(), bytes.size());
      ++inputs;
    }
  }
  EXPECT_GE(inputs, 13);
}

}  // namespace
