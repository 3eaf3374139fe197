#include "common/buffer.hpp"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EDGESTAR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define EDGESTAR_ASAN 1
#endif

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kPage = 4096;
// From this size on a block takes whole huge pages. A first touch of a 4 KiB
// page costs about 10 µs on some virtual machines (the development VM among
// them), where even 256 KiB of small pages cost more than one huge page.
constexpr std::size_t kHugeFrom = std::size_t{256} << 10;
}  // namespace

Buffer::Buffer(std::size_t bytes) {
  if (bytes == 0) return;
#ifdef EDGESTAR_ASAN
  // Under AddressSanitizer an exact-size heap block, so that a read or write
  // one byte past the end is reported instead of landing in page slack.
  data_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
  if (data_ == nullptr) throw std::bad_alloc();
  size_ = bytes;
  return;
#endif
  const bool huge = bytes >= kHugeFrom;
  const std::size_t unit = huge ? kHugePage : kPage;
  const std::size_t rounded = (bytes + unit - 1) & ~(unit - 1);
  if (rounded < bytes) throw std::bad_alloc();
  // Over-map by one huge page so the block can start on a 2 MiB boundary.
  const std::size_t mapSize = huge ? rounded + kHugePage : rounded;
  if (mapSize < rounded) throw std::bad_alloc();
  void* map = mmap(nullptr, mapSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) throw std::bad_alloc();
  auto* data = static_cast<std::uint8_t*>(map);
  if (huge) {
    const auto misalign = reinterpret_cast<std::uintptr_t>(data) & (kHugePage - 1);
    if (misalign != 0) data += kHugePage - misalign;
    madvise(data, rounded, MADV_HUGEPAGE);
  }
  // Anonymous pages read as zero; writing one byte a page maps them now
  // instead of one fault at a time in whatever loop touches them first.
#ifdef MADV_POPULATE_WRITE
  if (madvise(data, rounded, MADV_POPULATE_WRITE) != 0)
#endif
  {
    // Out of memory: say so instead of touching pages until the OOM killer
    // comes. Any other failure is a kernel without MADV_POPULATE_WRITE.
    if (errno == ENOMEM) {
      munmap(map, mapSize);
      throw std::bad_alloc();
    }
    for (std::size_t off = 0; off < rounded; off += kPage) {
      *reinterpret_cast<volatile std::uint8_t*>(data + off) = 0;
    }
  }
  data_ = data;
  size_ = bytes;
  map_ = map;
  mapSize_ = mapSize;
}

Buffer::Buffer(Buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      map_(std::exchange(other.map_, nullptr)),
      mapSize_(std::exchange(other.mapSize_, 0)) {}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    Buffer dead(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    map_ = std::exchange(other.map_, nullptr);
    mapSize_ = std::exchange(other.mapSize_, 0);
  }
  return *this;
}

Buffer::~Buffer() {
#ifdef EDGESTAR_ASAN
  std::free(data_);
#else
  if (map_ != nullptr) munmap(map_, mapSize_);
#endif
}
