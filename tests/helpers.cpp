#include "tests/helpers.hpp"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <stdexcept>

namespace {
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The CPUs whose system call numbers the seccomp filter below knows.
#if defined(__x86_64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#elif defined(__s390x__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_S390X;
#else
constexpr std::uint32_t kAuditArch = 0;
#endif

const char kStrace[] = "/usr/bin/strace";

// Makes close(fd) fail with EIO, without closing, for every fd above 2;
// ftruncate fail with EIO; and reads of more than 54 bytes from every fd
// above 2 fail with EIO; as asked, in this process and whatever it executes.
// Only for static programs: the dynamic loader closes and reads files too,
// and would stop.
bool failCalls(bool close, bool cut, bool read) {
  const std::uint32_t arch = kAuditArch;
  if (arch == 0) return false;
  // The low half of a 64-bit argument.
  const auto low = [](int arg) {
    const std::size_t at = offsetof(seccomp_data, args) + 8 * arg;
    return static_cast<std::uint32_t>(at + (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0));
  };
  const std::uint32_t none = ~0u;  // no system call has this number
  const sock_filter fail = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO);
  const sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
      allow,
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, cut ? __NR_ftruncate : none, 10, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, close ? __NR_close : none, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, read ? __NR_read : none, 3, 0),
      allow,
      // close: a descriptor above 2.
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, low(0)),
      BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 3, 5, 4),
      // read: a descriptor above 2, and more than 54 bytes.
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, low(0)),
      BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 3, 0, 2),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, low(2)),
      BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, 54, 1, 0),
      allow,
      fail,
  };
  sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

Bytes bmpHeader(std::int32_t fileSize, std::int32_t width, std::int32_t height,
                std::uint32_t offset, std::uint16_t bits, std::uint32_t compression) {
  Bytes h(54, 0);
  h[0] = 'B';
  h[1] = 'M';
  put32(h, 2, static_cast<std::uint32_t>(fileSize));
  put32(h, 10, offset);
  put32(h, 14, 40);
  put32(h, 18, static_cast<std::uint32_t>(width));
  put32(h, 22, static_cast<std::uint32_t>(height));
  h[26] = 1;
  h[28] = static_cast<std::uint8_t>(bits);
  h[29] = static_cast<std::uint8_t>(bits >> 8);
  put32(h, 30, compression);
  put32(h, 34, static_cast<std::uint32_t>(fileSize) - 54u);
  put32(h, 38, 2835);
  put32(h, 42, 2835);
  return h;
}

Bytes bmpFile(std::int32_t width, std::int32_t height, bool padded, std::uint32_t seed,
              std::size_t trailing) {
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  const std::size_t stride = padded ? (rowBytes + 3) & ~std::size_t{3} : rowBytes;
  const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
  const std::size_t data = stride * rows + trailing;
  Bytes file = bmpHeader(static_cast<std::int32_t>(54 + data), width, height);
  std::mt19937 gen(seed);
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t k = 0; k < stride; ++k) {
      file.push_back(k < rowBytes ? static_cast<std::uint8_t>(gen()) : 0);
    }
  }
  for (std::size_t k = 0; k < trailing; ++k) file.push_back(static_cast<std::uint8_t>(gen()));
  return file;
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readFile(const std::string& path) {
  const std::string s = slurp(path);
  return {s.begin(), s.end()};
}

std::string tempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "edgestar-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  static std::vector<std::string> made;
  if (made.empty()) {
    std::atexit([] {
      for (const auto& d : made) std::filesystem::remove_all(d);
    });
  }
  made.push_back(pattern);
  return pattern;
}

std::string blankTime(const std::string& text) {
  static const std::regex time("Exection time [0-9]+\\.[0-9]{6} ms\\.");
  return std::regex_replace(text, time, "Exection time T ms.");
}

RunResult run(const std::vector<std::string>& argv, const RunOptions& options) {
  static const std::string dir = tempDir();
  const std::string outPath = dir + "/stdout", errPath = dir + "/stderr";
  // Left empty when the program's standard output goes elsewhere.
  close(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
  int feed[2] = {-1, -1};
  if (options.input != nullptr && pipe2(feed, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  // The terminal's other side is opened here, so that it is open in the
  // child before the parent's copy closes: the parent reads until it hangs up.
  int master = -1, terminal = -1;
  if (options.terminal) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        (terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
  }
  pid_t reader = -1;
  if (!options.fifo.empty()) {
    reader = fork();
    if (reader == 0) {
      if (feed[1] >= 0) close(feed[1]);  // the program's input must still end
      const int fd = open(options.fifo.c_str(), O_RDONLY);
      std::vector<std::uint8_t> taken(options.fifoTakes);
      for (std::size_t got = 0; fd >= 0 && got < taken.size();) {
        const ssize_t n = ::read(fd, taken.data() + got, taken.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      _exit(0);
    }
  }
  pid_t mover = -1;
  if (!options.moveOnto.empty()) {
    mover = fork();
    if (mover == 0) {
      struct stat info;
      for (int k = 0; k < 20000 && lstat(options.moveOnto.c_str(), &info) != 0; ++k) usleep(500);
      _exit(rename(options.moveFrom.c_str(), options.moveOnto.c_str()) == 0 ? 0 : 1);
    }
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = options.input != nullptr ? dup(feed[0]) : open("/dev/null", O_RDONLY);
    int out = -1;
    if (options.out == Stdout::full) {
      out = open("/dev/full", O_WRONLY);
    } else if (options.out == Stdout::readerGone) {
      int ends[2];
      if (pipe(ends) != 0) _exit(126);
      close(ends[0]);
      out = ends[1];
    } else {
      out = open(outPath.c_str(), O_WRONLY | O_TRUNC);
    }
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    close(in);
    close(out);
    close(err);
    if (options.out == Stdout::closed) close(1);
    if (terminal >= 0) {
      // A new session, whose controlling terminal it becomes.
      if (setsid() < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0) _exit(126);
      dup2(terminal, 1);
    }
    if (options.stdinClosed) close(0);
    // The test may ignore SIGPIPE itself; the program starts as from a shell.
    signal(SIGPIPE, SIG_DFL);
    if (options.isa != nullptr) setenv("EDGESTAR_ISA", options.isa, 1);
    if (options.fileSizeLimit != 0) {
      const rlimit limit = {options.fileSizeLimit, options.fileSizeLimit};
      signal(SIGXFSZ, SIG_DFL);
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.closeFails || options.cutFails || options.readFails) {
      // A static program ignores LD_PRELOAD; a dynamic one needs its loader.
      if (PROGRAMS_STATIC && !failCalls(options.closeFails, options.cutFails, options.readFails)) {
        _exit(126);
      }
      if (!PROGRAMS_STATIC) {
        setenv("LD_PRELOAD", FAIL_CALLS_LIB, 1);
        const std::string calls = std::string(options.closeFails ? "close " : "") +
                                  (options.cutFails ? "ftruncate " : "") +
                                  (options.readFails ? "read" : "");
        setenv("FAIL_CALLS", calls.c_str(), 1);
      }
    }
    std::vector<std::string> words;
    if (!options.inject.empty()) {
      // LeakSanitizer stops the program with ptrace at exit, which strace
      // already holds.
      const char* asan = std::getenv("ASAN_OPTIONS");
      setenv("ASAN_OPTIONS", (std::string(asan != nullptr ? asan : "") + ":detect_leaks=0").c_str(),
             1);
      words = {kStrace, "-f", "-qq", "-o", "/dev/null"};
      std::string calls;
      for (const auto& path : options.injectOn) words.insert(words.end(), {"-P", path});
      for (const auto& call : options.inject) {
        const std::string name = call.substr(0, call.find(':'));
        std::string inject = "inject=" + name;
        if (call.find(":error=") == std::string::npos) inject += ":error=EIO";
        inject += call.substr(name.size());  // ":when=N" and the like, if given
        words.insert(words.end(), {"-e", inject});
        calls += (calls.empty() ? "" : ",") + name;
      }
      words.insert(words.end(), {"-e", "trace=" + calls});
    }
    if (kEmulated && !argv[0].starts_with("/bin/") && !argv[0].starts_with("/usr/bin/")) {
      words.emplace_back(EMULATOR);
    }
    words.insert(words.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    args.reserve(words.size() + 1);
    for (const auto& a : words) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  if (options.input != nullptr) {
    // A program that stops reading early makes the writes fail with EPIPE.
    signal(SIGPIPE, SIG_IGN);
    close(feed[0]);
    const Bytes& bytes = *options.input;
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = write(feed[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    close(feed[1]);
  }
  std::string onTerminal;
  if (master >= 0) {
    close(terminal);
    char text[4096];
    for (ssize_t n; (n = ::read(master, text, sizeof text)) > 0;) onTerminal.append(text, n);
    close(master);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (mover > 0) {
    // A mover whose file never appeared still waits.
    kill(mover, SIGKILL);
    waitpid(mover, nullptr, 0);
  }
  if (reader > 0) {
    // A reader whose FIFO was never opened for writing still waits.
    kill(reader, SIGKILL);
    waitpid(reader, nullptr, 0);
  }
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  result.out = master >= 0 ? onTerminal : slurp(outPath);
  result.err = slurp(errPath);
  return result;
}

std::string cannotFailCalls() {
  if (kEmulated)
    return "failing calls need a seccomp filter or strace, which would bind the emulator";
  if (PROGRAMS_STATIC && kAuditArch == 0) {
    return "no seccomp filter knows this CPU's system calls, and the programs are static";
  }
  if (access(kStrace, X_OK) != 0) return std::string("no ") + kStrace + " to inject failures with";
  return {};
}

bool canMakeTerminal() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return false;
  const bool made = grantpt(master) == 0 && unlockpt(master) == 0 && ptsname(master) != nullptr;
  close(master);
  return made;
}

void expectHelpVersionAndIsa(const std::string& program, const std::string& name,
                             const std::string& usage, const std::vector<std::string>& work,
                             const std::string& untouched) {
  std::string supported;
  for (const Isa isa : kAllIsas) {
    if (isaSupported(isa)) supported += std::string(supported.empty() ? "" : " ") + isaName(isa);
  }
  const auto kernels = [&](Isa isa) {
    return std::string("kernels: ") + isaName(isa) + " (supported: " + supported + ")\n";
  };
  const std::string version = name + " (edgestar) " EDGESTAR_VERSION "\n";
  for (const std::string option : {"--help", "-h", "--version"}) {
    const RunResult r = run({program, option});
    EXPECT_EQ(r.status, 0) << name << " " << option;
    EXPECT_EQ(r.err, "") << name << " " << option;
    if (option == "--version") {
      EXPECT_EQ(r.out, version + kernels(bestIsa()));
    } else {
      EXPECT_TRUE(r.out.starts_with(usage + "\n")) << r.out;
      EXPECT_NE(r.out.find(name + "(1)"), std::string::npos) << r.out;
      // The paths of this build's architecture, and no other.
      std::string paths;
      for (const Isa isa : kAllIsas) paths += std::string(paths.empty() ? "" : "|") + isaName(isa);
      EXPECT_NE(r.out.find("\nEDGESTAR_ISA=" + paths + " runs "), std::string::npos) << r.out;
    }
  }
  // Empty means the fastest; the help needs no kernels.
  EXPECT_EQ(run({program, "--version"}, {.isa = ""}).out, version + kernels(bestIsa()));
  EXPECT_EQ(run({program, "--help"}, {.isa = "nonsense"}).status, 0);
  for (const Isa isa : kEveryIsa) {
    const RunResult r = run({program, "--version"}, {.isa = isaName(isa)});
    if (isaSupported(isa)) {
      EXPECT_EQ(r.status, 0) << isaName(isa);
      EXPECT_EQ(r.out, version + kernels(isa));
      continue;
    }
    for (const auto& argv : {std::vector<std::string>{program, "--version"}, work}) {
      const RunResult bad = run(argv, {.isa = isaName(isa)});
      EXPECT_EQ(bad.status, 1) << isaName(isa);
      EXPECT_EQ(bad.out, "") << isaName(isa);
      EXPECT_EQ(bad.err, std::string("EDGESTAR_ISA=") + isaName(isa) +
                             ": not supported by this CPU (supported: " + supported + ")\n");
    }
  }
  for (const char* value : {"AVX2", "sse", "scalar "}) {
    const RunResult bad = run(work, {.isa = value});
    EXPECT_EQ(bad.status, 1) << value;
    EXPECT_EQ(bad.out, "") << value;
    EXPECT_EQ(bad.err,
              std::string("EDGESTAR_ISA=") + value +
                  ": unknown instruction set (known: scalar sse4 avx2 avx512 avx512vbmi neon; "
                  "supported: " +
                  supported + ")\n");
  }
  if (!untouched.empty()) {
    EXPECT_NE(access(untouched.c_str(), F_OK), 0) << untouched;
  }
}
