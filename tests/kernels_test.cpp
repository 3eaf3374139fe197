#include "image/kernels.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/helpers.hpp"

namespace {

std::uint32_t bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// Each kernel runs only where the CPU has every feature it is compiled for:
// a kernel chosen on a CPU without one of them dies of SIGILL.
TEST(Dispatch, ChoosesWhatTheCpuHas) {
  using F = std::vector<std::string_view>;
  struct Case {
    const char* cpu;
    F features;
    Isa fastest;
  };
#if defined(__x86_64__)
  const auto plus = [](F a, const F& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const F sse4 = {"ssse3", "sse4.1", "sse4.2", "popcnt"};
  const F haswell = plus(sse4, {"avx2", "bmi", "bmi2", "fma"});
  const F skylakeX = plus(haswell, {"avx512f", "avx512bw", "avx512dq", "avx512vl", "avx512cd"});
  const Case cases[] = {
      {"baseline x86-64", {}, Isa::scalar},
      {"Nehalem", sse4, Isa::sse4},
      {"SSE4.2 without SSSE3", {"sse4.1", "sse4.2", "popcnt"}, Isa::scalar},
      {"AVX2 without FMA", plus(sse4, {"avx2", "bmi", "bmi2"}), Isa::sse4},
      {"Haswell, Zen 3", haswell, Isa::avx2},
      {"Knights Landing: no BW, DQ, VL", plus(haswell, {"avx512f", "avx512cd", "avx512er"}),
       Isa::avx2},
      {"Skylake-X, Cascade Lake: no VBMI", skylakeX, Isa::avx512},
      {"Ice Lake, Zen 4", plus(skylakeX, {"avx512vbmi", "avx512vbmi2"}), Isa::avx512vbmi},
      {"VBMI without BW (no such CPU)", plus(haswell, {"avx512f", "avx512vbmi"}), Isa::avx2},
  };
#elif defined(__aarch64__)
  const Case cases[] = {{"any aarch64", {}, Isa::neon}};
#else
  const Case cases[] = {{"any", {}, Isa::scalar}};
#endif
  for (const auto& c : cases) {
    EXPECT_EQ(fastestIsa(c.features), c.fastest) << c.cpu;
    // Every path up to the fastest runs there, and none past it.
    bool past = false;
    for (const Isa isa : kAllIsas) {
      EXPECT_EQ(isaRunsOn(isa, c.features), !past) << c.cpu << ": " << isaName(isa);
      past = past || isa == c.fastest;
    }
    for (const Isa isa : kEveryIsa) {
      if (std::find(std::begin(kAllIsas), std::end(kAllIsas), isa) == std::end(kAllIsas)) {
        EXPECT_FALSE(isaRunsOn(isa, c.features)) << c.cpu << ": " << isaName(isa) << " not built";
      }
    }
  }
}

TEST(Gray, WeighsBytesByPositionInDouble) {
  EXPECT_EQ(reference::grayLevel(255, 0, 0), 76.2195f);
  EXPECT_EQ(reference::grayLevel(0, 0, 255), 29.07f);
  EXPECT_EQ(reference::grayLevel(255, 255, 255), 254.9745f);
  EXPECT_EQ(reference::grayLevel(0, 0, 0), 0.0f);
  // Rounded once from double: summing in float would give another value here.
  EXPECT_EQ(reference::grayLevel(1, 2, 3),
            static_cast<float>((1 * 0.2989 + 2 * 0.587) + 3 * 0.114));
}

// The reference edges of gray; pixels it does not compute stay -1.
std::vector<float> edgesOf(const std::vector<float>& gray, int rows, int cols) {
  std::vector<float> edges(gray.size(), -1.0f);
  reference::laplacian(gray.data(), edges.data(), rows, cols);
  return edges;
}

TEST(Laplacian, MatchesTheWorkedCases) {
  // One bright pixel at (2, 2) of a 5×5 zero image.
  for (const auto& [g, centre] : {std::pair{63.75f, 255.0f}, {100.0f, 255.0f}, {10.0f, 40.0f}}) {
    std::vector<float> gray(25, 0.0f);
    gray[12] = g;
    const std::vector<float> edges = edgesOf(gray, 5, 5);
    EXPECT_EQ(edges[12], centre) << g;
    for (int k : {7, 11, 13, 17, 6, 8, 16, 18}) EXPECT_EQ(bits(edges[k]), 0u) << g << " at " << k;
    for (int k : {0, 4, 20, 24, 2, 10}) EXPECT_EQ(edges[k], -1.0f) << "frame touched at " << k;
  }
  // A uniform image has no edges; a 3×3 image has exactly one computed pixel.
  const std::vector<float> uniform = edgesOf(std::vector<float>(12, 254.9745f), 3, 4);
  EXPECT_EQ(uniform, (std::vector<float>{-1, -1, -1, -1, -1, 0, 0, -1, -1, -1, -1, -1}));
  const std::vector<float> three = edgesOf({1, 2, 3, 4, 50, 6, 7, 8, 9}, 3, 3);
  EXPECT_EQ(three, (std::vector<float>{-1, -1, -1, -1, 180, -1, -1, -1, -1}));
  // Too narrow or too short: nothing is computed.
  EXPECT_EQ(edgesOf(std::vector<float>(10, 9.0f), 2, 5), std::vector<float>(10, -1.0f));
  EXPECT_EQ(edgesOf(std::vector<float>(10, 9.0f), 5, 2), std::vector<float>(10, -1.0f));
}

TEST(Levels, BecomeTheirTruncatedLowByte) {
  EXPECT_EQ(reference::levelByte(254.9f), 254);
  EXPECT_EQ(reference::levelByte(0.7f), 0);
  EXPECT_EQ(reference::levelByte(255.0f), 255);
  EXPECT_EQ(reference::levelByte(256.5f), 0);  // low 8 bits of 256
}

TEST(Laplacian, ClampsEverySum) {
  EXPECT_EQ(reference::clampLevel(254.99f), 254.99f);
  EXPECT_EQ(reference::clampLevel(255.0f), 255.0f);
  EXPECT_EQ(reference::clampLevel(1e30f), 255.0f);
  EXPECT_EQ(bits(reference::clampLevel(-0.0f)), 0u);
  EXPECT_EQ(bits(reference::clampLevel(-3.0f)), 0u);
  EXPECT_EQ(bits(reference::clampLevel(std::nanf(""))), 0u);
  EXPECT_EQ(reference::clampLevel(1e-40f), 1e-40f);
}

// Gray arrays meant to break a shortcut: zeros and -0 sums, exact 255 sums,
// extremes, and real gray levels of random pixels.
std::vector<float> adversarialGray(std::size_t count, int pattern, std::mt19937& gen) {
  static const float kLevels[] = {0.0f, 255.0f, 63.75f, 254.9745f, 63.74f, 1.0f, 0.2989f};
  std::vector<float> gray(count);
  for (std::size_t k = 0; k < count; ++k) {
    switch (pattern) {
      case 0:
        gray[k] = kLevels[gen() % 7];
        break;
      case 1:
        gray[k] = (gen() % 4 == 0) ? 63.75f : 0.0f;
        break;
      default:
        gray[k] =
            reference::grayLevel(static_cast<std::uint8_t>(gen()), static_cast<std::uint8_t>(gen()),
                                 static_cast<std::uint8_t>(gen()));
    }
  }
  return gray;
}

std::vector<std::pair<int, int>> awkwardSizes() {
  std::vector<std::pair<int, int>> sizes;
  for (int w = 1; w <= 70; ++w) sizes.emplace_back(w % 5 + 1, w);
  for (int h = 1; h <= 6; ++h) sizes.emplace_back(h, 35);
  sizes.emplace_back(3, 4096);
  sizes.emplace_back(37, 129);
  return sizes;
}

TEST_P(EveryPath, GrayMatchesReference) {
  std::mt19937 gen(7);
  for (const auto& [rows, width] : awkwardSizes()) {
    for (const std::size_t pad : {0, 1, 3}) {
      const std::size_t stride = 3 * static_cast<std::size_t>(width) + pad;
      std::vector<std::uint8_t> pixels(stride * rows);
      for (auto& b : pixels) b = static_cast<std::uint8_t>(gen());
      std::vector<float> want(rows * width, -1.0f), got(rows * width + 16, -1.0f);
      reference::gray(pixels.data(), stride, width, rows, want.data());
      RGB2BW(pixels.data(), stride, width, rows, got.data());
      for (std::size_t k = 0; k < want.size(); ++k) {
        ASSERT_EQ(bits(got[k]), bits(want[k])) << rows << "x" << width << " at " << k;
      }
      for (std::size_t k = want.size(); k < got.size(); ++k) ASSERT_EQ(got[k], -1.0f);
    }
  }
}

// Every one of the 2^24 triples, in every position of a block of up to 16
// pixels: rows of 4096 pixels, with the triples shifted along by 0 … 15.
TEST_P(EveryPath, GrayOfEveryTripleInEveryLane) {
  constexpr int kWidth = 4096, kRows = 4097, kTriples = 1 << 24;
  std::vector<float> want(kTriples);
  for (int k = 0; k < kTriples; ++k) {
    want[k] = reference::grayLevel(static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                                   static_cast<std::uint8_t>(k >> 16));
  }
  std::vector<std::uint8_t> pixels(3 * std::size_t{kWidth} * kRows);
  std::vector<float> got(std::size_t{kWidth} * kRows);
  for (int shift = 0; shift < 16; ++shift) {
    for (int k = 0; k < kTriples; ++k) {
      std::uint8_t* p = &pixels[3 * (std::size_t{static_cast<std::uint32_t>(k)} + shift)];
      p[0] = static_cast<std::uint8_t>(k);
      p[1] = static_cast<std::uint8_t>(k >> 8);
      p[2] = static_cast<std::uint8_t>(k >> 16);
    }
    RGB2BW(pixels.data(), 3 * kWidth, kWidth, kRows, got.data());
    ASSERT_EQ(std::memcmp(got.data() + shift, want.data(), want.size() * sizeof(float)), 0)
        << "shift " << shift << ": first difference at triple "
        << std::mismatch(want.begin(), want.end(), got.begin() + shift).first - want.begin();
  }
}

TEST_P(EveryPath, EdgeBytesInPlaceMatchTheReference) {
  std::mt19937 gen(13);
  auto sizes = awkwardSizes();
  sizes.emplace_back(300, 4099);  // rows whose alignment changes from row to row
  for (const auto& [rows, cols] : sizes) {
    for (int pattern = 0; pattern < 3; ++pattern) {
      const std::size_t count = static_cast<std::size_t>(rows) * cols;
      const std::vector<float> gray = adversarialGray(count, pattern, gen);
      std::vector<float> edges(count, 0.0f);
      reference::laplacian(gray.data(), edges.data(), rows, cols);
      // Starting on a 64-byte boundary, as the program's array does, and one
      // float past it; nothing outside the array may change.
      for (const std::size_t shift : {0, 1}) {
        std::vector<float> work(count + 48, -7.0f);
        const auto misalign = (reinterpret_cast<std::uintptr_t>(work.data()) & 63) / sizeof(float);
        float* base = work.data() + (16 - misalign) % 16 + shift;
        std::copy(gray.begin(), gray.end(), base);
        const ByteLevels levels = laplacianBytesKernel(GetParam(), base, rows, cols);
        ASSERT_TRUE(std::all_of(work.data(), base, [](float f) { return f == -7.0f; }));
        ASSERT_TRUE(std::all_of(base + count, work.data() + work.size(),
                                [](float f) { return f == -7.0f; }));
        if (rows < 3 || cols < 3) {
          EXPECT_EQ(levels.first, nullptr);
          EXPECT_TRUE(std::equal(gray.begin(), gray.end(), base)) << rows << "x" << cols;
          continue;
        }
        for (int i = 1; i < rows - 1; ++i) {
          const std::uint8_t* row = levels.first + (i - 1) * levels.pitch;
          for (int j = 0; j < cols; ++j) {
            ASSERT_EQ(row[j], reference::levelByte(edges[i * cols + j]))
                << rows << "x" << cols << " pattern " << pattern << " shift " << shift << " at "
                << i << "," << j;
          }
        }
      }
    }
  }
}

TEST_P(EveryPath, TripleBytesMatchReference) {
  std::mt19937 gen(5);
  for (int width = 1; width <= 300; width += (width < 70 ? 1 : 37)) {
    std::vector<std::uint8_t> levels(width);
    std::vector<float> asFloats(width);
    for (int k = 0; k < width; ++k) {
      levels[k] = static_cast<std::uint8_t>(gen());
      asFloats[k] = levels[k] + 0.75f;  // truncated back to the same byte
    }
    std::vector<std::uint8_t> want(3 * width + 8, 0xAA), got(3 * width + 8, 0xAA);
    reference::levelBytes(asFloats.data(), width, want.data());
    tripleBytesKernel(GetParam(), levels.data(), width, got.data());
    ASSERT_EQ(got, want) << "width " << width;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EveryPath, ::testing::ValuesIn(kAllIsas), isaTestName);

}  // namespace
