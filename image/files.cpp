#include "image/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/read_fully.hpp"
#include "common/standard_streams.hpp"
#include "image/bmp.hpp"
#include "image/stage_clock.hpp"

struct stat identify(int fd, const char* name) {
  struct stat info;
  if (fstat(fd, &info) != 0) throw BmpError(systemError(name));
  return info;
}

bool sizeChecked(int fd, const struct stat& info, const BmpLayout& layout) {
  if (!S_ISREG(info.st_mode)) return false;
  const off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0 || info.st_size < at) return false;
  // What reading would find: the bytes there, or one more than declared.
  const auto available = static_cast<std::uint64_t>(info.st_size - at);
  const std::size_t data = layout.dataSize;
  if (available != data) throw sizeMismatch(available < data + 1 ? available : data + 1, data);
  return true;
}

Descriptor::~Descriptor() {
  if (fd_ >= 0) close(fd_);
}

PixelSource::PixelSource(int fd, const char* name, std::size_t declared, std::uint8_t* block,
                         std::size_t capacity)
    : fd_(fd), name_(name), declared_(declared), block_(block), capacity_(capacity) {}

PixelSource::PixelSource(const std::uint8_t* held, std::size_t declared)
    : declared_(declared), held_(held) {}

const std::uint8_t* PixelSource::take(std::size_t n) {
  if (held_ != nullptr) {
    const std::uint8_t* at = held_ + done_;
    done_ += n;
    return at;
  }
  if (filled_ - at_ < n) {
    // What is left moves to the block's first page, and as much as fits is
    // read behind it, never past the declared bytes. The read lands at the
    // place in a page its first byte has in the file: the kernel's copy to a
    // destination a few bytes past its source's place in a page ran 3 to 15
    // times slower (Zen 4), as every load then waits on a store just made
    // to the same place in a page.
    const std::size_t left = filled_ - at_;
    const std::size_t start = (kHeaderSize + done_ - left) % kInputSlack;
    std::memmove(block_ + start, block_ + at_, left);
    at_ = start;
    filled_ = start + left;
    const std::size_t want = std::min<std::uint64_t>(capacity_ - left, declared_ - done_);
    const StageClock clock(Stage::read);
    const std::int64_t got = readFully(fd_, block_ + filled_, want);
    if (got < 0) throw BmpError(systemError(name_));
    done_ += static_cast<std::uint64_t>(got);
    filled_ += static_cast<std::size_t>(got);
    if (filled_ - at_ < n) throw sizeMismatch(done_, declared_);
  }
  const std::uint8_t* at = block_ + at_;
  at_ += n;
  return at;
}

void PixelSource::expectEnd() {
  if (held_ != nullptr) return;  // its length was checked when it was read
  std::uint8_t extra;
  const StageClock clock(Stage::read);
  const std::int64_t got = readFully(fd_, &extra, 1);
  if (got < 0) throw BmpError(systemError(name_));
  if (got > 0) throw sizeMismatch(declared_ + 1, declared_);
}

OutputFile::OutputFile(const char* path, std::uint64_t total, std::uint8_t* block,
                       std::size_t capacity, const struct stat& input)
    : path_(path), total_(total), block_(block), capacity_(capacity) {
  // O_EXCL tells whether this run made the file. A name that exists is
  // opened as it stands; one that is a symbolic link to nothing is made
  // through it.
  fd_ = openAboveStandard(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
  bool created = fd_ >= 0;
  if (fd_ < 0 && errno == EEXIST) {
    fd_ = openAboveStandard(path, O_WRONLY);
    if (fd_ < 0 && errno == ENOENT) {
      fd_ = openAboveStandard(path, O_WRONLY | O_CREAT, 0666);
      created = fd_ >= 0;
    }
  }
  if (fd_ < 0) {
    openError_ = systemError(path);
    return;
  }
  struct stat info;
  // A file the system cannot identify may be the input, or a longer file
  // that only a cut would leave right: it is not written at all. One this
  // run made stays, empty: by now its name may hold another process's file,
  // which removing the name would lose.
  if (fstat(fd_, &info) != 0) {
    openError_ = systemError(path);
    if (created) {
      openError_ += std::string(path) +
                    ": left empty: this run created it, and the system cannot say whether that "
                    "name still holds it\n";
    }
    close(fd_);
    fd_ = -1;
    return;
  }
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &pipeAction_);
  regular_ = S_ISREG(info.st_mode);
  if (regular_) oldSize_ = static_cast<std::uint64_t>(info.st_size);
  inPlace_ = regular_ && input.st_dev == info.st_dev && input.st_ino == info.st_ino;
  // A file that must grow gets its blocks in one call, which costs far less
  // than having them reserved a write at a time. Its length still grows only
  // with the writes, so a run cut short leaves just the bytes written; if the
  // call fails, the writes go on and say how far they got.
  if (regular_ && oldSize_ < total_) {
    fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(total_));
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) cutAndClose();
}

void OutputFile::added(std::size_t n) {
  fill_ += n;
  if (fill_ < capacity_) return;
  send(capacity_);
  fill_ -= capacity_;
  std::memmove(block_, block_ + capacity_, fill_);
}

void OutputFile::zeros(std::size_t n) {
  while (n > 0) {
    const std::size_t step = std::min(n, kOutputSlack);
    std::memset(room(step), 0, step);
    added(step);
    n -= step;
  }
}

void OutputFile::send(std::size_t n) {
  // Once a write has failed, or the file could not be opened, the rest of
  // the run's bytes go nowhere; the count says how far the file got.
  const StageClock clock(Stage::write);
  for (std::size_t done = 0; done < n && fd_ >= 0 && !failed_;) {
    const ssize_t k = write(fd_, block_ + done, n - done);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) {
      failed_ = true;
      break;
    }
    done += static_cast<std::size_t>(k);
    written_ += static_cast<std::size_t>(k);
  }
}

OutputFile::Closing OutputFile::cutAndClose() {
  Closing result;
  // An old, longer file loses what lies past the new one, and a short write
  // leaves exactly the bytes written, whatever the file held before. The
  // input itself keeps its size: cutting it would lose the rows not yet
  // converted, which only it still holds.
  if (regular_ && !inPlace_ && (written_ < total_ || oldSize_ > total_) &&
      ftruncate(fd_, static_cast<off_t>(written_)) != 0) {
    result.cut = errno;
  }
  // A failing close (delayed write errors on some file systems) means the
  // bytes cannot be trusted to be in the file.
  if (close(fd_) != 0) result.closed = errno;
  fd_ = -1;
  sigaction(SIGPIPE, &pipeAction_, nullptr);
  return result;
}

std::uint64_t OutputFile::finish() {
  send(fill_);
  fill_ = 0;
  if (fd_ < 0) return written_;
  const Closing closing = cutAndClose();
  // A file that could not be cut holds more than the bytes written, so no
  // count can be reported; after a short write, the count says what went
  // wrong even if the close fails too.
  if (closing.cut != 0 || (closing.closed != 0 && written_ == total_)) {
    errno = closing.cut != 0 ? closing.cut : closing.closed;
    throw BmpError(systemError(path_));
  }
  return written_;
}

std::string OutputFile::abandon() {
  if (fd_ < 0) return openError_;
  std::string said = failed_ ? shortWrite(written_, static_cast<std::int32_t>(total_)).what() : "";
  // The run has failed already: a close's error adds nothing to its message.
  const Closing closing = cutAndClose();
  if (closing.cut != 0) {
    errno = closing.cut;
    said += systemError(path_);
  }
  return said;
}
