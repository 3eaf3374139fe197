#include "image/run.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/read_fully.hpp"
#include "common/standard_streams.hpp"
#include "image/files.hpp"

BmpInput readBMP(int fd, const char* name, BmpHeader& header, std::FILE* progress,
                 std::size_t bandRows) {
  BmpInput input;
  input.layout = readHeader(fd, name, header, progress);
  const BmpLayout& layout = input.layout;
  const bool checked = sizeChecked(fd, layout);
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
  if (stat(output, &target) == 0 && fstat(fileno(progress), &lines) == 0 &&
      target.st_dev == lines.st_dev && target.st_ino == lines.st_ino &&
      (!S_ISCHR(lines.st_mode) || isatty(fileno(progress)) == 1)) {
    throw BmpError(std::string(output) +
                   ": is standard output, where the progress lines go; name another file\n");
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
                 image.plan.outBytes, fd.get());
  const double seconds = runBands(layout, header, edges, image.plan, image.bands.ring, pixels, out);
  if (edges) printSweepTime(seconds, progress);
  if (!out.openError().empty()) throw BmpError(out.openError());
  const std::uint64_t written = out.finish();
  if (written != static_cast<std::uint64_t>(layout.fileSize)) {
    throw shortWrite(written, layout.fileSize);
  }
}
