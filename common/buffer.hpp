#pragma once

#include <cstddef>
#include <cstdint>

// A zero-filled block of memory whose pages are already mapped. Blocks of
// 256 KiB or more take whole 2 MiB-aligned pages advised for transparent huge
// pages: a first touch of a 4 KiB page costs microseconds, so populating a big
// array page by page inside a kernel would dominate its time. Throws
// std::bad_alloc on failure.
class Buffer {
 public:
  Buffer() = default;
  explicit Buffer(std::size_t bytes);
  Buffer(Buffer&& other) noexcept;
  Buffer& operator=(Buffer&& other) noexcept;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer();

  std::uint8_t* bytes() const { return data_; }
  float* floats() const { return reinterpret_cast<float*>(data_); }
  template <class T>
  T* as() const {
    return reinterpret_cast<T*>(data_);
  }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* map_ = nullptr;
  std::size_t mapSize_ = 0;
};
