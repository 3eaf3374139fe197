// End to end: the built image program on generated files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <regex>

#include "image/bmp.hpp"
#include "tests/helpers.hpp"
#include "tests/oracle/image_oracle.hpp"

namespace {

const std::string kImage = IMAGE_BIN;
const char kUsage[] = "Uso incorrecto de los parametros. exe  input.bmp output.bmp [cg]\n";

// What the program must write for file and mode, from the reference kernels.
Bytes expectedOutput(const Bytes& file, bool edges) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  BmpHeader header;
  std::memcpy(header.bytes, file.data(), kHeaderSize);
  return oracle::imageOutput(file.data(), checkHeader(header, sink), edges);
}

std::string okLines(const Bytes& file, std::int32_t width, std::int32_t height) {
  const int data = static_cast<int>(file.size() - 54);
  return "Tamanio archivo = " + std::to_string(data) +
         "\nImage read correctly (width=" + std::to_string(width) +
         " height=" + std::to_string(height) + ", imagesize=" + std::to_string(data) + ").\n";
}

TEST(ImageCli, UsageNeedsThreeArguments) {
  const std::string dir = tempDir();
  writeFile(dir + "/in.bmp", bmpFile(4, 2, true));
  const RunResult r = run({kImage, dir + "/in.bmp", dir + "/out.bmp"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kUsage);
  EXPECT_NE(access((dir + "/out.bmp").c_str(), F_OK), 0);
}

TEST(ImageCli, HelpVersionAndIsaChoice) {
  const std::string dir = tempDir();
  writeFile(dir + "/in.bmp", bmpFile(4, 2, true));
  expectHelpVersionAndIsa(kImage, "image", "Usage: image INPUT.bmp OUTPUT.bmp MODE",
                          {kImage, dir + "/in.bmp", dir + "/out.bmp", "c"}, dir + "/out.bmp");
}

TEST(ImageCli, ModesAndLayouts) {
  const std::string dir = tempDir();
  const std::string in = dir + "/in.bmp", out = dir + "/out.bmp";
  const struct {
    std::int32_t width, height;
    bool padded;
    std::vector<std::string> extra;  // mode and more
    bool edges;
    const char* shown = nullptr;  // the mode as the message shows it, when not as typed
  } cases[] = {
      {4, 2, true, {"c"}, true},              // the smallest worked example: 78 bytes
      {5, 3, true, {"c"}, true},              // padded rows
      {5, 3, false, {"g"}, true},             // packed rows
      {7, -6, true, {"cpu"}, true},           // top-down, first letter counts
      {33, 17, true, {"c", "x", "y"}, true},  // extra arguments ignored
      {9, 9, true, {"x"}, false},             // no operator
      {9, 9, true, {""}, false},              // empty mode
      {9, 9, true, {"Gray"}, false},          // letters count as typed
      // A byte a terminal would act on, or half a character, is escaped.
      {9, 9, true, {"\x1b[31m"}, false, "\\x1b"},
      {9, 9, true, {"\xc3\xa9"}, false, "\\xc3"},
      {2, 40, true, {"c"}, true},  // too narrow for the operator
      {64, 48, true, {"c"}, true},
  };
  for (const auto& c : cases) {
    const Bytes file = bmpFile(c.width, c.height, c.padded, c.width * 31 + c.height);
    writeFile(in, file);
    std::vector<std::string> argv = {kImage, in, out};
    argv.insert(argv.end(), c.extra.begin(), c.extra.end());
    const RunResult r = run(argv);
    const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                             (c.extra[0].empty() ? "''" : c.extra[0]);
    // The black image is written, and the status says the run did not do
    // what was asked.
    EXPECT_EQ(r.status, c.edges ? 0 : 1) << what;
    const std::string mode = c.shown != nullptr ? c.shown : c.extra[0].substr(0, 1);
    EXPECT_EQ(r.err, c.edges ? ""
                             : "mode '" + mode +
                                   "' is not implemented: the image written is all black; c or g "
                                   "computes the edges\n")
        << what;
    const std::string lines = okLines(file, c.width, c.height);
    ASSERT_EQ(r.out.substr(0, lines.size()), lines) << what;
    const std::string last = r.out.substr(lines.size());
    if (c.edges) {
      EXPECT_TRUE(last.starts_with("Exection time ") && last.ends_with(" ms.\n")) << last;
    } else {
      EXPECT_EQ(last, "Not Implemented yet!!\n") << what;
    }
    EXPECT_EQ(readFile(out), expectedOutput(file, c.edges)) << what;
  }
}

// A run that fails: the arguments after the program, what it prints and how
// it is run; when file is named, what that file holds afterwards. In err,
// "Escritos N de" stands for a count of at least the bytes a FIFO's reader
// takes.
struct Failure {
  std::vector<std::string> args;
  std::string out, err;
  RunOptions options = {};
  std::string file = {};
  Bytes holds = {};
};

void expectFailures(const std::vector<Failure>& cases) {
  static const std::regex written("^Escritos ([0-9]+) de");
  for (const auto& c : cases) {
    std::vector<std::string> argv = {kImage};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunResult r = run(argv, c.options);
    EXPECT_EQ(r.status, 1) << c.err;
    std::string err = r.err;
    std::smatch count;
    if (c.err.starts_with("Escritos N de") && std::regex_search(r.err, count, written)) {
      EXPECT_GE(std::stoull(count[1]), c.options.fifoTakes) << r.err;
      err = std::regex_replace(r.err, written, "Escritos N de");
    }
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(blankTime(r.out), c.out) << c.err;
    if (!c.file.empty()) {
      EXPECT_EQ(readFile(c.file), c.holds) << c.err;
    }
  }
}

// The inputs of the failure tables: a small image, one larger than a pipe's
// buffer (120054 bytes), and one written in several blocks (2400054 bytes).
struct FailureInputs {
  const std::string dir = tempDir();
  const std::string in = dir + "/in.bmp", big = dir + "/big.bmp", large = dir + "/large.bmp";
  const Bytes good = bmpFile(5, 3, true), bigFile = bmpFile(200, 200, true),
              largeFile = bmpFile(1000, 800, true);
  FailureInputs() {
    writeFile(in, good);
    writeFile(big, bigFile);
    writeFile(large, largeFile);
  }
};

TEST(ImageCli, FailuresEndWithStatusOne) {
  const FailureInputs inputs;
  const auto& [dir, in, big, large, good, bigFile, largeFile] = inputs;
  const std::string fifo = dir + "/fifo";
  mkfifo(fifo.c_str(), 0600);
  expectFailures({
      {{dir + "/none.bmp", dir + "/o.bmp", "c"},
       "",
       dir + "/none.bmp: No such file or directory\n"},
      {{dir, dir + "/o.bmp", "c"}, "", dir + ": Is a directory\n"},
      {{"", dir + "/o.bmp", "c"}, "", "No such file or directory\n"},  // as perror("") prints it
      // The sweep is timed even when its output goes nowhere.
      {{in, dir + "/missing/o.bmp", "c"},
       okLines(good, 5, 3) + "Exection time T ms.\n",
       dir + "/missing/o.bmp: No such file or directory\n"},
      {{in, "/dev/full", "c"},
       okLines(good, 5, 3) + "Exection time T ms.\n",
       "Escritos 0 de 102 bytes\n"},
      // A closed standard stream is no file, even when the other file of the
      // run could have taken its number.
      {{"/dev/stdin", dir + "/o.bmp", "c"},
       "",
       "/dev/stdin: No such file or directory\n",
       {.stdinClosed = true}},
      // The progress lines are lost too, and said to be.
      {{in, "/dev/stdout", "c"},
       "",
       "/dev/stdout: No such file or directory\nstandard output: Bad file descriptor\n",
       {.out = Stdout::closed}},
      // The progress lines would land in the image.
      {{in, "/dev/stdout", "c"},
       "",
       "/dev/stdout: is standard output, where the progress lines go; name another file\n"},
      {{in, "/proc/self/fd/1", "x"},
       "",
       "/proc/self/fd/1: is standard output, where the progress lines go; name another file\n"},
      // An output pipe whose reader quits is a short write, not a silent
      // death by SIGPIPE, and the progress lines are kept.
      {{big, fifo, "c"},
       okLines(bigFile, 200, 200) + "Exection time T ms.\n",
       "Escritos N de 120054 bytes\n",
       {.fifo = fifo, .fifoTakes = 1000}},
  });
}

TEST(ImageCli, FailingCallsEndWithStatusOne) {
  if (const std::string why = cannotFailCalls(); !why.empty()) GTEST_SKIP() << why;
  const FailureInputs inputs;
  const auto& [dir, in, big, large, good, bigFile, largeFile] = inputs;
  const std::string out = dir + "/out.bmp", old = dir + "/old.bmp", unknown = dir + "/unknown.bmp";
  const std::string once = dir + "/once.bmp", twice = dir + "/twice.bmp",
                    thrice = dir + "/thrice.bmp", fresh = dir + "/fresh.bmp";
  const Bytes oldBytes(200000, 0x5A);
  writeFile(old, oldBytes);
  writeFile(unknown, oldBytes);
  // The same file by a second name, so that only the input's calls fail.
  const std::string inPlace = dir + "/inplace.bmp", same = dir + "/same.bmp";
  writeFile(inPlace, bigFile);
  ASSERT_EQ(link(inPlace.c_str(), same.c_str()), 0);
  const std::string itself = dir + "/itself.bmp";
  writeFile(itself, bigFile);
  const std::string dangling = dir + "/dangling.bmp", target = dir + "/target.bmp";
  ASSERT_EQ(symlink(target.c_str(), dangling.c_str()), 0);
  const std::string raced = dir + "/raced.bmp", theirs = dir + "/theirs.txt";
  const Bytes theirBytes = {'d', 'a', 't', 'a', '\n'};
  writeFile(theirs, theirBytes);
  const auto leftEmpty = [](const std::string& path) {
    return path +
           ": left empty: this run created it, and the system cannot say whether that name still "
           "holds it\n";
  };
  const std::string largeLines = okLines(largeFile, 1000, 800);
  expectFailures({
      // Nothing meant for standard output lands in the file.
      {{in, out, "c"},
       okLines(good, 5, 3) + "Exection time T ms.\n",
       out + ": Input/output error\n",
       {.closeFails = true},
       out,
       expectedOutput(good, true)},
      // A short write whose cut fails leaves more than the bytes written:
      // no count can be given.
      {{big, dir + "/cut.bmp", "c"},
       okLines(bigFile, 200, 200) + "Exection time T ms.\n",
       dir + "/cut.bmp: Input/output error\n",
       {.cutFails = true, .fileSizeLimit = 65536}},
      // The input fails before a byte is written, and the longer old output
      // cannot be cut: both are said.
      {{big, old, "c"},
       okLines(bigFile, 200, 200),
       big + ": Input/output error\n" + old + ": Input/output error\n",
       {.cutFails = true, .readFails = true},
       old,
       oldBytes},
      // A write that fails once ends the writing: a later write would land
      // where the failed one should have.
      {{large, once, "c"},
       largeLines + "Exection time T ms.\n",
       "Escritos 0 de 2400054 bytes\n",
       {.inject = {"write:when=1"}, .injectOn = {once}},
       once,
       {}},
      // A write fails, then the input: both are said; and with a failed cut
      // after them, all three.
      {{large, twice, "c"},
       largeLines,
       large + ": Input/output error\nEscritos 0 de 2400054 bytes\n",
       {.inject = {"write:when=1", "read:when=4"}, .injectOn = {large, twice}},
       twice,
       {}},
      {{large, thrice, "c"},
       largeLines,
       large + ": Input/output error\nEscritos 0 de 2400054 bytes\n" + thrice +
           ": Input/output error\n",
       {.inject = {"write:when=1", "read:when=4", "ftruncate"}, .injectOn = {large, thrice}}},
      // The input fails after the output could not be opened: both are said.
      {{big, dir + "/missing/o.bmp", "c"},
       okLines(bigFile, 200, 200),
       big + ": Input/output error\n" + dir + "/missing/o.bmp: No such file or directory\n",
       {.readFails = true}},
      // In place, the output's fstat and then the input's read fail with the
      // same line, said once; the file stays whole.
      {{itself, itself, "c"},
       okLines(bigFile, 200, 200),
       itself + ": Input/output error\n",
       {.inject = {"%fstat:when=3", "read:when=2"}, .injectOn = {itself}},
       itself,
       bigFile},
      // When the system cannot say what the input is, nor so whether the
      // output is the input, nothing is written: under a size limit a run
      // that took it for another file would cut it.
      {{inPlace, same, "c"},
       "",
       inPlace + ": Input/output error\n",
       {.fileSizeLimit = 65536, .inject = {"%fstat"}, .injectOn = {inPlace}},
       inPlace,
       bigFile},
      // Nor when it cannot say what the output is: a longer old file would
      // keep its tail uncut.
      {{big, unknown, "c"},
       okLines(bigFile, 200, 200) + "Exection time T ms.\n",
       unknown + ": Input/output error\n",
       {.inject = {"%fstat"}, .injectOn = {unknown}},
       unknown,
       oldBytes},
      // A new output the run cannot use is left empty, and said to be: by
      // then its name may hold another process's file. Made through a
      // symbolic link to nothing, too. The system's own error is said.
      {{big, fresh, "c"},
       okLines(bigFile, 200, 200) + "Exection time T ms.\n",
       fresh + ": Stale file handle\n" + leftEmpty(fresh),
       {.inject = {"%fstat:error=ESTALE"}, .injectOn = {fresh}},
       fresh,
       {}},
      {{big, dangling, "c"},
       okLines(bigFile, 200, 200) + "Exection time T ms.\n",
       dangling + ": Input/output error\n" + leftEmpty(dangling),
       {.inject = {"%fstat"}, .injectOn = {dangling, target}},
       target,
       {}},
      // Another process puts its file on the name while the new output's
      // fstat fails: that file stays whole.
      {{big, raced, "c"},
       okLines(bigFile, 200, 200) + "Exection time T ms.\n",
       raced + ": Input/output error\n" + leftEmpty(raced),
       {.inject = {"%fstat:when=2:delay_enter=1500000"},
        .injectOn = {raced},
        .moveFrom = theirs,
        .moveOnto = raced},
       raced,
       theirBytes},
  });
}

// With standard output on a terminal, no name of a terminal may take the
// image: its bytes would mix with the progress lines on the screen.
TEST(ImageCli, TerminalOutputIsRefused) {
  if (!canMakeTerminal()) GTEST_SKIP() << "no pseudo-terminal can be made here";
  const FailureInputs inputs;
  const std::string& in = inputs.in;
  expectFailures({
      {{in, "/dev/tty", "c"},
       "",
       "/dev/tty: is a terminal, where the progress lines go; name another file\n",
       {.terminal = true}},
      {{in, "/dev/stdout", "c"},
       "",
       "/dev/stdout: is standard output, where the progress lines go; name another file\n",
       {.terminal = true}},
  });
}

TEST(ImageCli, UnwritableStandardOutput) {
  const std::string dir = tempDir();
  const std::string in = dir + "/in.bmp", out = dir + "/out.bmp";
  const Bytes file = bmpFile(5, 3, true);
  writeFile(in, file);
  const struct {
    RunOptions options;
    std::string err;
    int signal = 0;  // the run ends by this signal rather than with status 1
    const char* mode = "c";
  } cases[] = {
      {{.out = Stdout::full}, "standard output: No space left on device\n"},
      // Both failures are said.
      {{.out = Stdout::full},
       "mode 'x' is not implemented: the image written is all black; c or g computes the "
       "edges\nstandard output: No space left on device\n",
       0,
       "x"},
      {{.out = Stdout::closed}, "standard output: Bad file descriptor\n"},
      // As in other Unix tools: the output file, done by then, has given
      // SIGPIPE back its action.
      {{.out = Stdout::readerGone}, "", SIGPIPE},
  };
  for (const auto& c : cases) {
    unlink(out.c_str());
    const RunResult r = run({kImage, in, out, c.mode}, c.options);
    EXPECT_EQ(r.status, c.signal == 0 ? 1 : -1) << c.err;
    EXPECT_EQ(r.signal, c.signal) << c.err;
    EXPECT_EQ(r.err, c.err);
    // Nothing meant for standard output lands in the file.
    EXPECT_EQ(readFile(out), expectedOutput(file, c.mode[0] == 'c')) << c.err;
  }
}

TEST(ImageCli, BadFilesLeaveNoOutput) {
  const std::string dir = tempDir();
  const std::string in = dir + "/in.bmp", out = dir + "/out.bmp";
  const Bytes good = bmpFile(5, 3, true);
  Bytes longer = good, shorter = good;
  longer.push_back(0);
  shorter.pop_back();
  const auto with = [](Bytes header, std::size_t data) {
    header.resize(header.size() + data, 9);
    return header;
  };
  const std::string size24 = "Tamanio archivo = 24\n";
  const struct {
    const char* what;
    Bytes file;
    std::string out, err;
  } cases[] = {
      {"empty", {}, "", "Entrada muy pequenia (0 bytes)\n"},
      {"header only", bmpHeader(78, 4, 2), size24,
       "File size incorrect: 0 bytes read insted of 24\n"},
      {"zero width", with(bmpHeader(78, 0, 2), 24), size24,
       "Dimensiones incorrectas (width=0 height=2) para 24 bytes de imagen\n"},
      {"zero height", with(bmpHeader(78, 4, 0), 24), size24,
       "Dimensiones incorrectas (width=4 height=0) para 24 bytes de imagen\n"},
      {"negative width", with(bmpHeader(78, -4, 2), 24), size24,
       "Dimensiones incorrectas (width=-4 height=2) para 24 bytes de imagen\n"},
      {"huge", with(bmpHeader(78, 2147483647, 2147483647), 24), size24,
       "Dimensiones incorrectas (width=2147483647 height=2147483647) para 24 bytes de imagen\n"},
      {"3WH over the data", with(bmpHeader(78, 4, 3), 24), size24,
       "Dimensiones incorrectas (width=4 height=3) para 24 bytes de imagen\n"},
      {"offset past the header", with(bmpHeader(78, 4, 2, 138), 24), size24, "No color 24-bit\n"},
      {"size past the file", with(bmpHeader(50331702, 4096, 4096), 24),
       "Tamanio archivo = 50331648\n", "File size incorrect: 24 bytes read insted of 50331648\n"},
      {"one byte longer", longer, "Tamanio archivo = 48\n",
       "File size incorrect: 49 bytes read insted of 48\n"},
      {"one byte shorter", shorter, "Tamanio archivo = 48\n",
       "File size incorrect: 47 bytes read insted of 48\n"},
  };
  // From a regular file, whose size is checked first, and from a pipe, whose
  // bytes are held until its end.
  for (const auto& c : cases) {
    writeFile(in, c.file);
    for (const bool pipe : {false, true}) {
      const RunResult r =
          run({kImage, pipe ? "/dev/stdin" : in, out, "c"}, {.input = pipe ? &c.file : nullptr});
      const std::string what = std::string(c.what) + (pipe ? " (pipe)" : "");
      EXPECT_EQ(r.status, 1) << what;
      EXPECT_EQ(r.out, c.out) << what;
      EXPECT_EQ(r.err, c.err) << what;
      EXPECT_NE(access(out.c_str(), F_OK), 0) << what << ": output written";
    }
  }
}

TEST(ImageCli, InputAndOutputMayBeTheSameFile) {
  const std::string dir = tempDir();
  const std::string path = dir + "/same.bmp";
  const Bytes file = bmpFile(1024, 200, true, 3);  // four bands of rows
  // The output named by the same path, by a hard link and by a symbolic link.
  for (const std::string& output : {path, dir + "/hard.bmp", dir + "/soft.bmp"}) {
    unlink(path.c_str());
    unlink((dir + "/hard.bmp").c_str());
    unlink((dir + "/soft.bmp").c_str());
    writeFile(path, file);
    ASSERT_EQ(link(path.c_str(), (dir + "/hard.bmp").c_str()), 0);
    ASSERT_EQ(symlink(path.c_str(), (dir + "/soft.bmp").c_str()), 0);
    const RunResult r = run({kImage, path, output, "c"});
    EXPECT_EQ(r.status, 0) << output;
    EXPECT_EQ(readFile(path), expectedOutput(file, true)) << output;
  }
}

TEST(ImageCli, OutputCutShortPartWay) {
  const std::string dir = tempDir();
  const std::string in = dir + "/in.bmp", out = dir + "/out.bmp";
  const Bytes file = bmpFile(200, 200, true);  // 120054 bytes
  const Bytes want = expectedOutput(file, true);
  const Bytes part(want.begin(), want.begin() + 65536);
  Bytes inPlace = part;
  inPlace.insert(inPlace.end(), file.begin() + 65536, file.end());
  // A file size limit of 64 KiB stops the writes there (the program must not
  // die of SIGXFSZ); an old output must not keep its bytes past them, whether
  // it is longer than the new one or only longer than what was written. The
  // input itself keeps its size: the rows converted, then its own bytes.
  const struct {
    std::size_t oldSize;
    bool same;  // the output is the input
    const Bytes& holds;
  } cases[] = {{0, false, part}, {100000, false, part}, {200000, false, part}, {0, true, inPlace}};
  for (const auto& c : cases) {
    writeFile(in, file);
    unlink(out.c_str());
    if (c.oldSize > 0) writeFile(out, Bytes(c.oldSize, 0x5A));
    const std::string& target = c.same ? in : out;
    const RunResult r = run({kImage, in, target, "c"}, {.fileSizeLimit = 65536});
    EXPECT_EQ(r.status, 1) << c.oldSize;
    EXPECT_EQ(blankTime(r.out), okLines(file, 200, 200) + "Exection time T ms.\n") << c.oldSize;
    EXPECT_EQ(r.err, "Escritos 65536 de 120054 bytes\n") << c.oldSize;
    EXPECT_EQ(readFile(target), c.holds) << c.oldSize << (c.same ? " in place" : "");
  }
}

// A file system with too little room: the preallocation fails, the writes
// stop part way, and the file is exactly as long as the count reported. In
// place, over an input whose zeros are holes the file system has no blocks
// for, the file keeps its size.
TEST(ImageCli, FullFileSystemLeavesExactlyTheBytesWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  const std::string dir = tempDir();
  const std::string image = dir + "/fs.img", mnt = dir + "/mnt", in = dir + "/in.bmp";
  mkdir(mnt.c_str(), 0755);
  const RunResult made =
      run({"/bin/sh", "-c",
           "truncate -s 4M " + image + " && mkfs.ext4 -q -F -m 0 " + image + " && mount -o loop " +
               image + " " + mnt + " && fallocate -l 1900K " + mnt + "/filler"});
  if (made.status != 0) {
    run({"/bin/sh", "-c", "umount " + mnt + " 2>/dev/null"});
    GTEST_SKIP() << "cannot make a small ext4 here: " << made.err;
  }
  const Bytes file = bmpFile(400, 1000, true);  // 1200054 bytes
  writeFile(in, file);
  const RunResult r = run({kImage, in, mnt + "/out.bmp", "c"});
  const Bytes out = readFile(mnt + "/out.bmp");
  unlink((mnt + "/out.bmp").c_str());
  const std::string sparse = mnt + "/sparse.bmp";
  writeFile(sparse, bmpHeader(1200054, 400, 1000));
  EXPECT_EQ(truncate(sparse.c_str(), 1200054), 0);
  const RunResult same = run({kImage, sparse, sparse, "c"});
  const Bytes kept = readFile(sparse);
  run({"/bin/sh", "-c", "umount " + mnt});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Escritos " + std::to_string(out.size()) + " de 1200054 bytes\n");
  EXPECT_LT(out.size(), file.size());
  const Bytes want = expectedOutput(file, true);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), want.begin()));
  EXPECT_EQ(same.status, 1);
  EXPECT_TRUE(same.err.starts_with("Escritos ")) << same.err;
  EXPECT_EQ(kept.size(), 1200054u);
}

TEST(ImageCli, UnreadableInput) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string dir = tempDir();
  const std::string in = dir + "/locked.bmp";
  writeFile(in, bmpFile(4, 2, true));
  chmod(in.c_str(), 0);
  const RunResult r = run({kImage, in, dir + "/out.bmp", "c"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, in + ": Permission denied\n");
}

TEST(ImageCli, SizeLimitBoundary) {
  const std::string dir = tempDir();
  Bytes file = bmpFile(4096, 4096, true);
  writeFile(dir + "/big.bmp", file);
  RunResult r = run({kImage, dir + "/big.bmp", dir + "/out.bmp", "c"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 27), "Tamanio archivo = 50331648\n");
  // Large enough for the streaming-store paths of the edge kernels.
  EXPECT_EQ(readFile(dir + "/out.bmp"), expectedOutput(file, true));

  file[2] += 1;  // S = 50,331,703
  file.push_back(0);
  writeFile(dir + "/big.bmp", file);
  r = run({kImage, dir + "/big.bmp", dir + "/out.bmp", "c"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Tamanio archivo = 50331649\n");
  EXPECT_EQ(r.err, "Imagen muy grande: 50331649 bytes\n");
}

TEST(ImageCli, RunsInLittleAddressSpace) {
#ifdef UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit leaves";
#endif
  if (kEmulated) GTEST_SKIP() << "under the emulator, ulimit -v binds it, not image";
  const std::string dir = tempDir();
  const Bytes file = bmpFile(4096, 4096, true);
  writeFile(dir + "/big.bmp", file);
  // A run holds a few bands of rows, not the image: 16 MiB of address space
  // are plenty. A pipe's bytes must be held whole, and do not fit.
  const std::string limited = "ulimit -v 16384; exec " + kImage + " ";
  RunResult r = run({"/bin/sh", "-c", limited + dir + "/big.bmp " + dir + "/low.bmp c"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir + "/low.bmp"), expectedOutput(file, true));
  unlink((dir + "/low.bmp").c_str());
  r = run({"/bin/sh", "-c", limited + "/dev/stdin " + dir + "/low.bmp c"}, {.input = &file});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Tamanio archivo = 50331648\n");
  EXPECT_EQ(r.err, "Memoria insuficiente\n");
  EXPECT_NE(access((dir + "/low.bmp").c_str(), F_OK), 0);
  // The size line that could not be written is said too.
  r = run({"/bin/sh", "-c", limited + "/dev/stdin " + dir + "/low.bmp c"},
          {.out = Stdout::full, .input = &file});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Memoria insuficiente\nstandard output: No space left on device\n");
}

}  // namespace
