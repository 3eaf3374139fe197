// End to end: the built starmote program and its one line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "tests/helpers.hpp"

namespace {

TEST(StarmoteCli, CountIsReadLikeStrtol) {
  const struct {
    std::vector<std::string> args;
    const char* count;
  } cases[] = {
      {{}, "1000"},         {{"abc"}, "0"}, {{"12xyz"}, "12"},     {{"  +7"}, "7"},
      {{"3", "junk"}, "3"}, {{""}, "0"},    {{"4294967298"}, "2"}, {{"-0"}, "0"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {STARMOTE_BIN};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunResult r = run(argv);
    EXPECT_EQ(r.status, 0) << c.count;
    EXPECT_EQ(r.err, "") << c.count;
    const std::regex line(std::string(c.count) +
                          " Bodies with 100 iterations: [0-9]+\\.[0-9]{3} Millions "
                          "Interactions/second\n");
    EXPECT_TRUE(std::regex_match(r.out, line)) << r.out;
  }
}

TEST(StarmoteCli, HelpVersionAndIsaChoice) {
  // The options are not read as a count of 0: no simulation runs.
  expectHelpVersionAndIsa(STARMOTE_BIN, "starmote", "Usage: starmote [COUNT]", {STARMOTE_BIN, "10"},
                          "");
}

TEST(StarmoteCli, UnwritableStandardOutput) {
  const struct {
    Stdout out;
    const char* err;
  } cases[] = {
      {Stdout::full, "standard output: No space left on device\n"},
      {Stdout::closed, "standard output: Bad file descriptor\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run({STARMOTE_BIN, "10"}, {.out = c.out});
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(StarmoteCli, CountsThatCannotRunFailCleanly) {
  const struct {
    const char* arg;
    const char* err;
  } cases[] = {
      // Negative as read, or once truncated to 32 bits.
      {"-5", "Body count must be 0 or more, not -5\n"},
      {"2147483648",
       "Body count must be 0 or more, not -2147483648: '2147483648' read as a 32-bit count\n"},
      {"99999999999999999999",
       "Body count must be 0 or more, not -1: '99999999999999999999' read as a 32-bit count\n"},
      // Read as typed, only written another way: nothing was cut.
      {" -7\x1b", "Body count must be 0 or more, not -7: read from ' -7\\x1b'\n"},
      {"-05", "Body count must be 0 or more, not -5: read from '-05'\n"},
      {"\t-7", "Body count must be 0 or more, not -7: read from '\\x09-7'\n"},
      {"-2147483648", "Body count must be 0 or more, not -2147483648\n"},
      {"-4294967297",
       "Body count must be 0 or more, not -1: '-4294967297' read as a 32-bit count\n"},
      {"2147483647", "Not enough memory for 2147483647 bodies (60129542116 bytes)\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run({STARMOTE_BIN, c.arg});
    EXPECT_EQ(r.status, 1) << c.arg;
    EXPECT_EQ(r.out, "") << c.arg;
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(StarmoteCli, MemoryRunningOutFailsCleanly) {
#ifdef UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  if (kEmulated) GTEST_SKIP() << "under the emulator, ulimit -v binds it, not starmote";
  // With 450 MB of address space, 20 M bodies (560 MB) do not fit at all, and
  // 10 M bodies (280 MB) fit but their working copy for the force step does not.
  const std::string limited = "ulimit -v 460000; exec " + std::string(STARMOTE_BIN) + " ";
  const struct {
    const char* count;
    const char* err;
  } cases[] = {
      {"20000000", "Not enough memory for 20000000 bodies (560000000 bytes)\n"},
      {"10000000", "Not enough memory for the force step of 10000000 bodies\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run({"/bin/sh", "-c", limited + c.count});
    EXPECT_EQ(r.status, 1) << c.count;
    EXPECT_EQ(r.out, "") << c.count;
    EXPECT_EQ(r.err, c.err);
  }
}

}  // namespace

namespace {

TEST(StarmoteCli, ProgressOnlyOnATerminal) {
  if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "no script(1) to make a terminal";
    // Long enough to show progress on a terminal: 3.7 s on a Zen 5 core, nearly
    // twice the two seconds that make progress worth showing; about 7 s for
    // 1000 bodies under the aarch64 emulator. The sanitizers slow the force
    // step about tenfold (17000 bodies took about 160 s a run on a Zen 3 core).
#ifdef UNDER_ASAN
  const std::string count = "5000";
#else
  const std::string count = kEmulated ? "1000" : "17000";
#endif
  const std::string command =
      (kEmulated ? std::string(EMULATOR) + " " : std::string()) + STARMOTE_BIN + " " + count;
  const RunResult tty = run({"/usr/bin/script", "-qec", command, "/dev/null"});
  EXPECT_EQ(tty.status, 0);
  EXPECT_NE(tty.out.find("\rstarmote: step 100 of 100, "), std::string::npos) << tty.out;
  EXPECT_NE(tty.out.find("\r\033[K" + count + " Bodies with 100 iterations: "), std::string::npos);

  const RunResult redirected = run({STARMOTE_BIN, count});
  EXPECT_EQ(redirected.status, 0);
  EXPECT_EQ(redirected.err, "");
  EXPECT_TRUE(redirected.out.starts_with(count + " Bodies with 100 iterations: "))
      << redirected.out;
}

}  // namespace
