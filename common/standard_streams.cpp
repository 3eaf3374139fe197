#include "common/standard_streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int openAboveStandard(const char* path, int flags, mode_t mode) {
  const int fd = open(path, flags | O_CLOEXEC, mode);
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  close(fd);
  errno = error;
  return moved;
}

std::string flushStandardOutput() {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return {};
  // A write that failed earlier (a line-buffered terminal) may have left no errno.
  if (errno == 0) errno = EIO;
  return systemError("standard output");
}

std::string systemError(const char* name) {
  const std::string text = std::strerror(errno);
  if (name == nullptr || name[0] == '\0') return text + "\n";
  return std::string(name) + ": " + text + "\n";
}

std::string printable(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f) {
      shown += c;
    } else {
      static const char kHex[] = "0123456789abcdef";
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return shown;
}
