#include "fuzz/pipeline.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "image/bmp.hpp"
#include "image/kernels.hpp"
#include "image/run.hpp"
#include "tests/oracle/image_oracle.hpp"

namespace {

Isa checked = Isa::scalar;  // the instruction set a failure is reported on

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "pipeline check failed on %s: %s\n", isaName(checked), what);
    std::abort();
  }
}

int memoryFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create(name, MFD_CLOEXEC);
  check(fd >= 0, "memfd_create");
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    check(n > 0, "write to memfd");
    done += static_cast<std::size_t>(n);
  }
  return fd;
}

// A pipe whose other end a thread fills with the bytes, so that inputs larger
// than the pipe's buffer pass too. Closing the read end stops the thread.
class PipeFeed {
 public:
  PipeFeed(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    check(pipe2(ends, O_CLOEXEC) == 0, "pipe");
    read_ = ends[0];
    writer_ = std::thread([data, size, fd = ends[1]] {
      // A reader that stops early makes the writes fail with EPIPE instead
      // of ending the process.
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      close(fd);
    });
  }
  PipeFeed(const PipeFeed&) = delete;
  PipeFeed& operator=(const PipeFeed&) = delete;
  ~PipeFeed() {
    close(read_);
    writer_.join();
  }
  int fd() const { return read_; }

 private:
  int read_ = -1;
  std::thread writer_;
};

struct Outcome {
  std::string progress;  // with the sweep's time blanked out
  std::string error;     // empty when the run succeeded
  std::vector<std::uint8_t> output;
};

Outcome runOnce(const std::uint8_t* data, std::size_t size, bool fromPipe, std::size_t bandRows) {
  int file = -1;
  std::optional<PipeFeed> feed;
  if (fromPipe) {
    feed.emplace(data, size);
  } else {
    file = memoryFile("input.bmp", data, size);
  }
  const std::string input = "/proc/self/fd/" + std::to_string(fromPipe ? feed->fd() : file);
  const int out = memfd_create("output.bmp", MFD_CLOEXEC);
  check(out >= 0, "memfd_create");
  const std::string output = "/proc/self/fd/" + std::to_string(out);

  Outcome outcome;
  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* progress = open_memstream(&text, &length);
  try {
    runImage(input.c_str(), output.c_str(), 'c', progress, bandRows);
  } catch (const BmpError& e) {
    outcome.error = e.what();
  } catch (const std::bad_alloc&) {
    outcome.error = "Memoria insuficiente\n";
  }
  std::fclose(progress);
  static const std::regex time("Exection time [0-9]+\\.[0-9]{6} ms\\.\n");
  outcome.progress = std::regex_replace(std::string(text, length), time, "Exection time T\n");
  std::free(text);

  struct stat info;
  check(fstat(out, &info) == 0, "fstat");
  outcome.output.resize(static_cast<std::size_t>(info.st_size));
  check(pread(out, outcome.output.data(), outcome.output.size(), 0) == info.st_size, "read output");
  close(out);
  if (file >= 0) close(file);
  return outcome;
}

// One instruction set's kernels on whole arrays against the reference.
void checkKernels(Isa isa, const std::uint8_t* pixels, const BmpLayout& layout) {
  const std::size_t width = static_cast<std::size_t>(layout.width);
  const std::size_t count = layout.rows * width;
  const int rows = static_cast<int>(layout.rows);
  std::vector<float> wantGray(count), wantEdges(count, 0.0f);
  reference::gray(pixels, layout.stride, layout.width, layout.rows, wantGray.data());
  reference::laplacian(wantGray.data(), wantEdges.data(), rows, layout.width);
  std::vector<float> gray(count, -1.0f);
  grayKernel(isa, pixels, layout.stride, layout.width, layout.rows, gray.data());
  check(std::memcmp(gray.data(), wantGray.data(), count * sizeof(float)) == 0, "gray kernel");
  const ByteLevels levels = laplacianBytesKernel(isa, gray.data(), rows, layout.width);
  std::vector<std::uint8_t> want(3 * width), got(3 * width);
  for (std::size_t r = 1; levels.first != nullptr && r + 1 < layout.rows; ++r) {
    const std::uint8_t* row = levels.first + (r - 1) * levels.pitch;
    for (std::size_t c = 0; c < width; ++c) {
      check(row[c] == reference::levelByte(wantEdges[r * width + c]), "edge bytes");
    }
    reference::levelBytes(&wantEdges[r * width], layout.width, want.data());
    tripleBytesKernel(isa, row, layout.width, got.data());
    check(got == want, "triple bytes");
  }
}

}  // namespace

void runImagePipeline(const std::uint8_t* data, std::size_t size, Isa isa) {
  checked = isa;
  useIsa(isa);
  const std::size_t fewRows = 1 + (size > 0 ? data[size - 1] % 4 : 0);
  const Outcome first = runOnce(data, size, false, 0);
  for (const bool fromPipe : {false, true}) {
    for (const std::size_t bandRows : {std::size_t{0}, fewRows}) {
      if (!fromPipe && bandRows == 0) continue;  // that is the first run
      const Outcome other = runOnce(data, size, fromPipe, bandRows);
      check(other.error == first.error, "the same failure from every source and band");
      check(other.progress == first.progress, "the same lines from every source and band");
      check(other.output == first.output, "the same output from every source and band");
    }
  }
  if (!first.error.empty()) {
    check(first.error.back() == '\n', "failure message ends with a newline");
    // Every failure of a file held in memory is found before the output is opened.
    check(first.output.empty(), "failure leaves no output");
    return;
  }

  static std::FILE* const sink = std::fopen("/dev/null", "w");
  BmpHeader header;
  std::memcpy(header.bytes, data, kHeaderSize);
  const BmpLayout layout = checkHeader(header, sink);
  check(layout.rows * layout.stride <= layout.dataSize, "rows fit the data");
  check(layout.dataSize + kHeaderSize == static_cast<std::size_t>(layout.fileSize), "S = D + 54");
  check(first.output == oracle::imageOutput(data, layout, true), "output bytes");
  checkKernels(isa, data + kHeaderSize, layout);
}
