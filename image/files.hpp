#pragma once

#include <sys/stat.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/bmp.hpp"

// Room an output block has past its capacity, so that a row piece can always
// be added in one go.
inline constexpr std::size_t kOutputSlack = std::size_t{48} << 10;

// Room an input block has past its capacity, so that each read can land at
// the place in a page its first byte has in the file.
inline constexpr std::size_t kInputSlack = 4096;

// What the system says of an open file (fstat). Throws BmpError with the
// system's error for name when it cannot say: a run that cannot tell what
// its files are cannot tell whether its output is its input, so it must not
// go on as though it were not.
struct stat identify(int fd, const char* name);

// For a regular file (info is its fstat), compares the bytes after the header
// with D and throws the size message when they differ; returns true. Returns
// false for any other input, whose length is known only at its end.
bool sizeChecked(int fd, const struct stat& info, const BmpLayout& layout);

// An open file descriptor, closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor();
  int get() const { return fd_; }

 private:
  int fd_;
};

// The D pixel-data bytes of an input, taken in order: from a file, read ahead
// through the block in large reads (each read system call costs several
// microseconds here, and small ones cost more per byte), counting every byte
// so that a file found short says how much it held; or from bytes already
// held in memory, without a copy.
class PixelSource {
 public:
  // Reads from fd, whose next byte is the first after the header, through
  // block (capacity bytes and kInputSlack more); name is used in system
  // error messages.
  PixelSource(int fd, const char* name, std::size_t declared, std::uint8_t* block,
              std::size_t capacity);
  explicit PixelSource(const std::uint8_t* held, std::size_t declared);

  // The next n bytes (n ≤ capacity), valid until the next call. Throws
  // BmpError when the file cannot be read or ends before them.
  const std::uint8_t* take(std::size_t n);
  // Throws BmpError when a file holds more than the declared bytes.
  void expectEnd();

 private:
  int fd_ = -1;
  const char* name_ = nullptr;
  std::size_t declared_;
  const std::uint8_t* held_ = nullptr;
  std::uint8_t* block_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t at_ = 0;      // the next byte to take, in the block
  std::size_t filled_ = 0;  // bytes read into the block
  std::uint64_t done_ = 0;  // bytes read from the file, or taken from memory
};

// The output file, gathered in the block and written a whole block at a time
// as its bytes are produced: large writes cost far less per byte (the page
// cache takes them in large folios), and writes that end on block boundaries
// of the file keep them aligned. It is opened without truncating: an existing
// file is written over in place and cut to its new size at the end, so it
// keeps its inode, mode and other names, and no cached page of it is freed
// only to be allocated again. The input itself is never cut: whatever ends
// the run, it keeps its size, the rows converted followed by the original
// bytes from the first one not written.
//
// While it is open, SIGPIPE is ignored: an output pipe whose reader quits is
// a failed write like any other, reported with the bytes the reader took,
// and the progress lines still waiting for standard output are not lost.
//
// Once a write has failed, nothing more is written: a later write would land
// where the failed one should have, and the file would hold bytes in the
// wrong place.
class OutputFile {
 public:
  // Opens path for total bytes, gathered in block: capacity bytes and
  // kOutputSlack more. When it cannot be opened, or the system cannot say
  // what the opened file is, openError() says why, nothing is written and
  // every byte is discarded. input is the identity of the file the pixels
  // come from.
  OutputFile(const char* path, std::uint64_t total, std::uint8_t* block, std::size_t capacity,
             const struct stat& input);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes a file neither finished nor abandoned, cut as abandon() cuts it.
  ~OutputFile();

  const std::string& openError() const { return openError_; }
  // Room for n more bytes (n ≤ kOutputSlack), to be followed by added(n).
  std::uint8_t* room(std::size_t) { return block_ + fill_; }
  void added(std::size_t n);
  void zeros(std::size_t n);
  // After the last byte: cuts a regular file to exactly the bytes written and
  // closes it. Returns how many bytes reached the file (total when all went
  // well). Throws BmpError when the file cannot be cut, or when a complete
  // file cannot be closed.
  std::uint64_t finish();
  // When the run ends early (its input failed): cuts the file to exactly the
  // bytes written, as a short write leaves it, and closes it. Returns what
  // had already gone wrong with the output, to be said after the input's
  // message: that it could not be opened, that a write had failed
  // ("Escritos N de S bytes"), and that the cut failed ("PATH: system
  // error"); an empty string when nothing did.
  std::string abandon();

 private:
  void send(std::size_t n);
  // The errno of a failed cut and of a failed close, 0 for success.
  struct Closing {
    int cut = 0, closed = 0;
  };
  Closing cutAndClose();

  const char* path_;
  std::uint64_t total_;
  std::uint8_t* block_;
  std::size_t capacity_;
  std::size_t fill_ = 0;
  int fd_ = -1;
  std::string openError_;
  bool regular_ = false;
  bool inPlace_ = false;  // the same file as the input
  std::uint64_t oldSize_ = 0;
  std::uint64_t written_ = 0;
  bool failed_ = false;
  struct sigaction pipeAction_ = {};  // SIGPIPE's action before the file was opened
};
