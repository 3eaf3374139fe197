// Preloaded into a program under test: the calls FAIL_CALLS names fail with
// EIO, as on a file system with a delayed write error. "close" closes a file
// that was open for writing and then fails; "ftruncate" fails and cuts
// nothing; "read" fails reads of more than a header's 54 bytes from a file.
//
// It defines read() itself, which the fortified headers declare as an inline
// wrapper; a file that stands in for the C library goes without them.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
bool failing(const char* call) {
  const char* calls = std::getenv("FAIL_CALLS");
  return calls != nullptr && std::strstr(calls, call) != nullptr;
}
}  // namespace

extern "C" int close(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
  const int flags = fd > 2 ? fcntl(fd, F_GETFL) : -1;
  const int result = real(fd);
  if (result == 0 && flags != -1 && (flags & O_ACCMODE) == O_WRONLY && failing("close")) {
    errno = EIO;
    return -1;
  }
  return result;
}

extern "C" int ftruncate(int fd, off_t length) {
  static const auto real = reinterpret_cast<int (*)(int, off_t)>(dlsym(RTLD_NEXT, "ftruncate"));
  if (failing("ftruncate")) {
    errno = EIO;
    return -1;
  }
  return real(fd, length);
}

extern "C" ssize_t read(int fd, void* to, size_t count) {
  static const auto real =
      reinterpret_cast<ssize_t (*)(int, void*, size_t)>(dlsym(RTLD_NEXT, "read"));
  if (fd > 2 && count > 54 && failing("read")) {
    errno = EIO;
    return -1;
  }
  return real(fd, to, count);
}
