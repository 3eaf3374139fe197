// Writes a synthetic 24-bit BMP: a small landscape drawn from shapes, so the
// edge image has something to show at any size.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb scene(double x, double y) {            // x, y in [0, 1), y = 0 at the top
  Rgb c{90 + 100 * y, 150 + 80 * y, 235};  // sky
  const double sx = x - 0.78, sy = y - 0.22;
  if (sx * sx + sy * sy < 0.012) c = {250, 215, 90};  // sun
  const double ridge =
      0.52 - 0.22 * std::fabs(std::fmod(x * 3.1, 1.0) - 0.5) * 2 + 0.03 * std::sin(x * 40);
  if (y > ridge) c = {95 - 40 * y, 110 - 30 * y, 120};  // mountains
  if (y > 0.68) {                                       // field with furrows
    const bool furrow = std::fmod((y - 0.68) * 60 + x * 4, 1.0) < 0.5;
    c = furrow ? Rgb{70, 140, 50} : Rgb{95, 170, 60};
  }
  if (x > 0.14 && x < 0.40 && y > 0.50 && y < 0.80) c = {200, 180, 150};  // house
  if (y > 0.36 && y <= 0.50 && std::fabs(x - 0.27) < (y - 0.36) * 1.1) c = {160, 50, 40};
  if (x > 0.23 && x < 0.30 && y > 0.64 && y < 0.80) c = {110, 70, 40};    // door
  if (x > 0.32 && x < 0.37 && y > 0.56 && y < 0.62) c = {180, 220, 240};  // window
  return c;
}

void put32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_bmp WIDTH HEIGHT OUTPUT\n");
    return 1;
  }
  const long width = std::strtol(argv[1], nullptr, 10), height = std::strtol(argv[2], nullptr, 10);
  // At most the 48 MiB of pixel data image accepts.
  if (width < 1 || height < 1 || width > 0x1000000 || height > 0x1000000 ||
      (3 * static_cast<std::size_t>(width) + 3) / 4 * 4 * static_cast<std::size_t>(height) >
          0x3000000) {
    std::fprintf(stderr, "make_bmp: bad size\n");
    return 1;
  }
  const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
  const std::size_t data = stride * static_cast<std::size_t>(height);
  std::vector<std::uint8_t> file(54 + data, 0);
  file[0] = 'B';
  file[1] = 'M';
  put32(&file[2], static_cast<std::uint32_t>(file.size()));
  put32(&file[10], 54);
  put32(&file[14], 40);
  put32(&file[18], static_cast<std::uint32_t>(width));
  put32(&file[22], static_cast<std::uint32_t>(height));
  file[26] = 1;
  file[28] = 24;
  put32(&file[34], static_cast<std::uint32_t>(data));
  put32(&file[38], 2835);
  put32(&file[42], 2835);
  for (long row = 0; row < height; ++row) {
    // Bottom-up, as BMP files usually are: the first row stored is the lowest.
    const double y = 1.0 - (static_cast<double>(row) + 0.5) / static_cast<double>(height);
    for (long col = 0; col < width; ++col) {
      const Rgb c = scene((static_cast<double>(col) + 0.5) / static_cast<double>(width), y);
      std::uint8_t* p = &file[54 + row * stride + 3 * col];
      p[0] = static_cast<std::uint8_t>(c.b);
      p[1] = static_cast<std::uint8_t>(c.g);
      p[2] = static_cast<std::uint8_t>(c.r);
    }
  }
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
