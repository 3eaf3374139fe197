#include "image/run.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/read_fully.hpp"
#include "common/standard_streams.hpp"
#include "image/files.hpp"

namespace {

// Whether path opens as a terminal; opening it must not make it the
// process's controlling terminal, nor wait for a modem.
bool isTerminal(const char* path) {
  const int fd = open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool terminal = isatty(fd) == 1;
  close(fd);
  return terminal;
}

}  // namespace

BmpInput readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress,
                 std::size_t bandRows) {
  BmpInput input;
  input.file = identify(fd, name);
  input.layout = readHeader(fd, name, header, progress);
  const BmpLayout& layout = input.layout;
  const bool checked = sizeChecked(fd, input.file, layout);
  input.plan = planBands(layout, bandRows);
  input.bands = allocateBands(input.plan, layout);
  if (!checked) {
    // One byte more than declared must not be there.
    input.held = Buffer(layout.dataSize + 1);
    const std::int64_t got = readFully(fd, input.held.bytes(), layout.dataSize + 1);
    if (got < 0) throw BmpError(systemError(name));
    if (static_cast<std::uint64_t>(got) != layout.dataSize) {
      throw sizeMismatch(static_cast<std::uint64_t>(got), layout.dataSize);
    }
  }
  printReadLine(layout, progress);
  return input;
}

void runImage(const char* input, const char* output, char mode, std::FILE* progress,
              std::size_t bandRows) {
  // The progress lines would land in the image (over its start, or after it
  // through a pipe), and the run would still report success.
  // A device that keeps nothing (/dev/null) may take both.
  struct stat target, lines;
  const int progressFd = fileno(progress);
  if (stat(output, &target) == 0 && fstat(progressFd, &lines) == 0) {
    if (target.st_dev == lines.st_dev && target.st_ino == lines.st_ino &&
        (!S_ISCHR(lines.st_mode) || isatty(progressFd) == 1)) {
      throw BmpError(std::string(output) +
                     ": is standard output, where the progress lines go; name another file\n");
    }
    // Another name of a terminal (/dev/tty) is not its inode: the image's
    // bytes would mix with the lines on the screen.
    if (S_ISCHR(target.st_mode) && isatty(progressFd) == 1 && isTerminal(output)) {
      throw BmpError(std::string(output) +
                     ": is a terminal, where the progress lines go; name another file\n");
    }
  }
  const Descriptor fd(openAboveStandard(input, O_RDONLY));
  if (fd.get() < 0) throw BmpError(systemError(input));
  BmpHeader header;
  const BmpInput image = readBMP(fd.get(), input, header, progress, bandRows);
  const BmpLayout& layout = image.layout;
  const bool edges = mode == 'c' || mode == 'g';
  if (!edges) std::fputs("Not Implemented yet!!\n", progress);

  PixelSource pixels = image.held.size() != 0 ? PixelSource(image.held.bytes(), layout.dataSize)
                                              : PixelSource(fd.get(), input, layout.dataSize,
                                                            image.bands.in, image.plan.inBytes);
  // An output that cannot be opened is reported after the sweep's time,
  // which the bands still measure while their bytes go nowhere.
  OutputFile out(output, static_cast<std::uint64_t>(layout.fileSize), image.bands.out,
                 image.plan.outBytes, image.file);
  double seconds = 0.0;
  try {
    seconds = runBands(layout, header, edges, image.plan, image.bands.ring, pixels, out);
  } catch (const BmpError& error) {
    // The input failed part way; what had gone wrong with the output, and a
    // cut of it that fails too, are said after it. In place, the output's
    // open error may be the input's own line, which is said once.
    std::string said = error.what();
    const std::string output = out.abandon();
    if (output != said) said += output;
    throw BmpError(said);
  }
  if (edges) printSweepTime(seconds, progress);
  if (!out.openError().empty()) throw BmpError(out.openError());
  const std::uint64_t written = out.finish();
  if (written != static_cast<std::uint64_t>(layout.fileSize)) {
    throw shortWrite(written, layout.fileSize);
  }
  // The black image is written as asked, yet the run did not do what a
  // script that mistyped the mode wanted: its status must say so.
  if (!edges) {
    throw BmpError(std::string("mode '") + printable(mode == '\0' ? "" : std::string(1, mode)) +
                   "' is not implemented: the image written is all black; c or g computes the "
                   "edges\n");
  }
}
