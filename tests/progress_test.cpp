#include "starmote/progress.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Feeds step times to a Progress writing into a string.
std::string shown(bool enabled, double secondsPerStep) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  Progress progress(out, enabled, 100, 10.0);
  for (int done = 1; done <= 100; ++done) {
    if (progress.active()) progress.step(done, 10.0 + done * secondsPerStep);
  }
  progress.finish();
  std::fclose(out);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(Progress, OnlyLongRunsOnATerminalShowIt) {
  EXPECT_EQ(shown(false, 1.0), "");   // standard error is not a terminal
  EXPECT_EQ(shown(true, 0.019), "");  // predicted 1.9 s
  const std::string line = shown(true, 0.1);
  EXPECT_TRUE(line.starts_with("\rstarmote: step 1 of 100, 0.1 s\rstarmote: step 4 of 100, 0.4 s"))
      << line;
  EXPECT_NE(line.find("\rstarmote: step 100 of 100, 10.0 s\r\033[K"), std::string::npos) << line;
  EXPECT_TRUE(line.ends_with("\r\033[K"));
  // Updates at most every quarter second: 1, 4, 7, … and the last step.
  std::size_t updates = 0;
  for (std::size_t at = line.find("step"); at != std::string::npos;
       at = line.find("step", at + 1)) {
    ++updates;
  }
  EXPECT_EQ(updates, 34u);
}

}  // namespace
