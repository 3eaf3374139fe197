#include "common/read_fully.hpp"

#include <unistd.h>

#include <cerrno>

std::int64_t readFully(int fd, std::uint8_t* to, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = read(fd, to + got, count - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    got += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(got);
}
