#include "common/standard_streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

void holdStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // O_PATH: the descriptor exists but every read or write on it fails with EBADF.
    const int placeholder = open("/", O_PATH | O_CLOEXEC);
    if (placeholder >= 0 && placeholder != fd) {
      dup2(placeholder, fd);
      close(placeholder);
    }
  }
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
