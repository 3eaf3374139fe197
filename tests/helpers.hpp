#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/cpu.hpp"

using Bytes = std::vector<std::uint8_t>;

// AddressSanitizer reserves terabytes of address space, so tests that limit
// the address space cannot run under it.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(UNDER_ASAN)
#define UNDER_ASAN 1
#endif

// Under a cross build's emulator the built programs run through it (run()
// adds it); a few tests need what it cannot give and skip, saying why.
inline const bool kEmulated = *EMULATOR != '\0';

// A 54-byte BMP header with the given fields; everything else as a normal
// writer would set it.
Bytes bmpHeader(std::int32_t fileSize, std::int32_t width, std::int32_t height,
                std::uint32_t offset = 54, std::uint16_t bits = 24, std::uint32_t compression = 0);

// A whole 24-bit BMP file whose pixel bytes are pseudo-random (seeded), rows
// padded to 4 bytes or packed, and `trailing` bytes after the last row.
Bytes bmpFile(std::int32_t width, std::int32_t height, bool padded, std::uint32_t seed = 1,
              std::size_t trailing = 0);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

// A fresh directory for one test, removed with its contents at exit.
std::string tempDir();

struct RunResult {
  int status = -1;  // exit status, or -1 when killed by a signal
  int signal = 0;   // the signal that killed it, 0 when it exited
  std::string out;
  std::string err;
};

// Where a run's standard output goes: captured, /dev/full, closed, or a pipe
// whose reader has gone.
enum class Stdout { captured, full, closed, readerGone };

struct RunOptions {
  Stdout out = Stdout::captured;
  // Closing a file open for writing fails with EIO, as on a file system that
  // reports a delayed write error there; cutting a file (ftruncate) fails
  // with EIO: tests/fail_calls.cpp preloaded into a dynamic program, a
  // seccomp filter around a static one.
  bool closeFails = false;
  bool cutFails = false;
  // When not 0, no file may grow past this many bytes. SIGXFSZ keeps its
  // default action, which ends the program unless it ignores the signal.
  std::uint64_t fileSizeLimit = 0;
  bool stdinClosed = false;
  // Fed to standard input through a pipe; empty standard input without it.
  const Bytes* input = nullptr;
  // The value of EDGESTAR_ISA; unset without it.
  const char* isa = nullptr;
  // Reads of more than a header's 54 bytes from a file above the standard
  // descriptors fail with EIO (as closeFails and cutFails do it): a header
  // is read, pixels are not.
  bool readFails = false;
  // Standard output on a new pseudo-terminal that is the program's
  // controlling terminal, so that /dev/tty names it too; what the program
  // prints there is out (with the terminal's line ends). See canMakeTerminal.
  bool terminal = false;
  // When not empty, a reader opens this FIFO, takes fifoTakes bytes and quits.
  std::string fifo = {};
  std::size_t fifoTakes = 0;
  // System calls that fail under strace, counted only on the files in
  // injectOn (strace -P: calls that name one of those paths, or use a
  // descriptor opened by it): "write:when=1" fails the first write to them
  // with EIO and no other, "%fstat:error=ESTALE" every fstat or stat of them
  // with ESTALE; strace's other settings, such as delay_enter=MICROSECONDS,
  // go after the name too. See cannotFailCalls.
  std::vector<std::string> inject = {};
  std::vector<std::string> injectOn = {};
  // When not empty, another process renames moveFrom onto moveOnto as soon
  // as moveOnto exists, while the program runs.
  std::string moveFrom = {}, moveOnto = {};
};

// Whether this machine can make the pseudo-terminal of RunOptions::terminal.
bool canMakeTerminal();

// Whether the calls of closeFails, cutFails and readFails can be made to
// fail here: through a seccomp filter around a static program, which needs
// the CPU's system call numbers, or preloaded into a dynamic one; and those
// of inject, which need strace. Empty when they can, else why not.
std::string cannotFailCalls();

// Text with each well-formed "Exection time … ms." line's time blanked out,
// as "Exection time T ms.".
std::string blankTime(const std::string& text);

// Runs a program with the given arguments; a built program (not one of the
// system's, in /bin or /usr/bin) through the emulator when there is one.
RunResult run(const std::vector<std::string>& argv, const RunOptions& options = {});

// Checks a program's --help, -h and --version: status 0, nothing on standard
// error; the help starts with its usage line and names the man page and
// EDGESTAR_ISA, the version is "name (edgestar) VERSION" and the kernels line.
// Then EDGESTAR_ISA: each supported path is the one --version names, and an
// unknown or unsupported one fails alone, with nothing on standard output,
// also in a run of `work`, which must then leave `untouched` absent.
void expectHelpVersionAndIsa(const std::string& program, const std::string& name,
                             const std::string& usage, const std::vector<std::string>& work,
                             const std::string& untouched);

// Test names and failures show an instruction set by its name.
inline void PrintTo(Isa isa, std::ostream* os) { *os << isaName(isa); }

// A test run once per instruction set, with the programs' stages on it;
// skipped where the CPU lacks it (CI fails on a skip where AVX-512 is there).
class EveryPath : public ::testing::TestWithParam<Isa> {
 protected:
  void SetUp() override {
    if (!isaSupported(GetParam())) GTEST_SKIP() << isaName(GetParam()) << " not on this CPU";
    useIsa(GetParam());
    ASSERT_EQ(activeIsa(), GetParam());
  }
  void TearDown() override { useIsa(bestIsa()); }
};

inline std::string isaTestName(const ::testing::TestParamInfo<Isa>& info) {
  return isaName(info.param);
}
