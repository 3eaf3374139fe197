#include "tests/oracle/image_oracle.hpp"

#include "image/kernels.hpp"

namespace oracle {

std::vector<std::uint8_t> imageOutput(const std::uint8_t* file, const BmpLayout& layout,
                                      bool edges) {
  const std::size_t width = static_cast<std::size_t>(layout.width);
  const int rows = static_cast<int>(layout.rows);
  std::vector<float> gray(layout.rows * width), level(layout.rows * width, 0.0f);
  reference::gray(file + kHeaderSize, layout.stride, layout.width, layout.rows, gray.data());
  if (edges) reference::laplacian(gray.data(), level.data(), rows, layout.width);
  std::vector<std::uint8_t> out(file, file + kHeaderSize);
  out.resize(kHeaderSize + layout.dataSize, 0);
  for (std::size_t r = 0; r < layout.rows; ++r) {
    reference::levelBytes(&level[r * width], layout.width, &out[kHeaderSize + r * layout.stride]);
  }
  return out;
}

}  // namespace oracle
