// Preloaded into a program under test: closing a file that was open for
// writing closes it, then reports EIO, as a file system with a delayed write
// error does.
#include <dlfcn.h>
#include <fcntl.h>

#include <cerrno>

extern "C" int close(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
  const int flags = fd > 2 ? fcntl(fd, F_GETFL) : -1;
  const int result = real(fd);
  if (result == 0 && flags != -1 && (flags & O_ACCMODE) == O_WRONLY) {
    errno = EIO;
    return -1;
  }
  return result;
}
