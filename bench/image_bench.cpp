// Each image kernel on each instruction set, beside a memcpy that moves the
// same number of bytes: the bound a single core can reach.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "common/buffer.hpp"
#include "image/bands.hpp"
#include "image/kernels.hpp"

namespace {

struct Size {
  int width, height;
};
constexpr Size kSizes[] = {{4096, 4096}, {1920, 1080}};

std::string label(Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

struct Images {
  Buffer pixels, gray, edges, work, bytes;
  explicit Images(Size s)
      : pixels(3 * std::size_t(s.width) * s.height),
        gray(4 * std::size_t(s.width) * s.height),
        edges(4 * std::size_t(s.width) * s.height),
        work(4 * std::size_t(s.width) * s.height),
        bytes(3 * std::size_t(s.width) * s.height) {
    std::mt19937 gen(1);
    for (std::size_t k = 0; k < pixels.size(); ++k) pixels.bytes()[k] = std::uint8_t(gen() >> 24);
    reference::gray(pixels.bytes(), 3 * std::size_t(s.width), s.width, s.height, gray.floats());
    reference::laplacian(gray.floats(), edges.floats(), s.height, s.width);
  }
};

// Copies half the bytes a kernel reads plus writes: the same memory traffic.
void copyBound(benchmark::State& state, Size s, std::size_t bytes) {
  Buffer from(bytes), to(bytes);
  std::memset(from.bytes(), 1, bytes);
  for (auto _ : state) {
    std::memcpy(to.bytes(), from.bytes(), bytes);
    benchmark::DoNotOptimize(to.bytes());
    benchmark::ClobberMemory();
  }
  state.SetLabel(label(s));
}

void gray(benchmark::State& state, Isa isa, Size s) {
  Images im(s);
  for (auto _ : state) {
    grayKernel(isa, im.pixels.bytes(), 3 * std::size_t(s.width), s.width, s.height,
               im.gray.floats());
    benchmark::ClobberMemory();
  }
  state.SetLabel(label(s));
}

// The program's sweep, which overwrites the gray array with its bytes: each
// run starts from a fresh copy, made outside the timing.
void edgeBytes(benchmark::State& state, Isa isa, Size s) {
  Images im(s);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(im.work.bytes(), im.gray.bytes(), im.gray.size());
    state.ResumeTiming();
    benchmark::DoNotOptimize(laplacianBytesKernel(isa, im.work.floats(), s.height, s.width));
    benchmark::ClobberMemory();
  }
  state.SetLabel(label(s));
}

// Level bytes a gray-array row apart, as the sweep leaves them, to triples.
void tripleBytes(benchmark::State& state, Isa isa, Size s) {
  Images im(s);
  const std::size_t w = std::size_t(s.width);
  for (auto _ : state) {
    for (int r = 0; r < s.height; ++r) {
      const std::uint8_t* row = im.work.bytes() + r * 4 * w;
      // The next row asked for ahead, as the writer does.
      if (r + 1 < s.height) {
        for (std::size_t c = 0; c < w; c += 64) __builtin_prefetch(row + 4 * w + c);
      }
      tripleBytesKernel(isa, row, s.width, im.bytes.bytes() + 3 * r * w);
    }
    benchmark::ClobberMemory();
  }
  state.SetLabel(label(s));
}

// The stages as a run calls them: band by band, each band's pixel bytes, gray
// rows and level bytes in the cache (one band's buffers, used again for every
// band of the image), beside a copy of the same bytes between buffers of the
// same size. The gray rows land two rows into the ring, after the two a band
// shares with the one before; the sweep runs on a copy of a whole ring made
// before it, which band_copy_ring times alone; the level bytes land where a
// run's output block holds them, after the file's 54-byte header.
struct Band {
  std::size_t rows, ringRows, bands;
  explicit Band(Size s) {
    BmpLayout layout;
    layout.width = s.width;
    layout.height = s.height;
    layout.rows = std::size_t(s.height);
    layout.stride = 3 * std::size_t(s.width);
    const BandPlan plan = planBands(layout);
    rows = plan.bandRows;
    ringRows = plan.ringRows;
    bands = (layout.rows + rows - 1) / rows;
  }
};

enum BandStage { kGray, kEdges, kTriples, kRingCopy };

void bandStage(benchmark::State& state, Isa isa, BandStage stage, Size s) {
  const Band band(s);
  const std::size_t w = std::size_t(s.width);
  Buffer pixels(3 * w * band.rows), ring(4 * w * band.ringRows), gray(4 * w * band.ringRows),
      out(kHeaderSize + 3 * w * band.rows);
  std::mt19937 gen(1);
  for (std::size_t k = 0; k < pixels.size(); ++k) pixels.bytes()[k] = std::uint8_t(gen() >> 24);
  grayKernel(isa, pixels.bytes(), 3 * w, s.width, band.rows, gray.floats());
  std::memcpy(gray.floats() + band.rows * w, gray.floats(), 4 * w * (band.ringRows - band.rows));
  std::memcpy(ring.bytes(), gray.bytes(), ring.size());
  for (auto _ : state) {
    for (std::size_t b = 0; b < band.bands; ++b) {
      if (stage == kGray) {
        grayKernel(isa, pixels.bytes(), 3 * w, s.width, band.rows, ring.floats() + 2 * w);
      } else if (stage == kTriples) {
        for (std::size_t r = 0; r < band.rows; ++r) {
          tripleBytesKernel(isa, ring.bytes() + r * 4 * w, s.width,
                            out.bytes() + kHeaderSize + 3 * r * w);
        }
      } else {
        std::memcpy(ring.bytes(), gray.bytes(), ring.size());
        if (stage == kEdges) {
          benchmark::DoNotOptimize(
              laplacianBytesKernel(isa, ring.floats(), int(band.ringRows), s.width));
        }
      }
      benchmark::ClobberMemory();
    }
  }
  state.SetLabel(label(s));
}

// Half the bytes a band's stage reads plus writes, band after band.
void bandCopy(benchmark::State& state, std::size_t perPixel2, Size s) {
  const Band band(s);
  const std::size_t bytes = std::size_t(s.width) * band.rows * perPixel2 / 2;
  Buffer from(bytes), to(bytes);
  std::memset(from.bytes(), 1, bytes);
  for (auto _ : state) {
    for (std::size_t b = 0; b < band.bands; ++b) {
      std::memcpy(to.bytes(), from.bytes(), bytes);
      benchmark::ClobberMemory();
    }
  }
  state.SetLabel(label(s));
}

void referencePath(benchmark::State& state, int stage, Size s) {
  Images im(s);
  const std::size_t w = std::size_t(s.width);
  for (auto _ : state) {
    if (stage == 0) reference::gray(im.pixels.bytes(), 3 * w, s.width, s.height, im.gray.floats());
    if (stage == 1) reference::laplacian(im.gray.floats(), im.edges.floats(), s.height, s.width);
    if (stage == 2) {
      for (int r = 0; r < s.height; ++r) {
        reference::levelBytes(im.edges.floats() + r * w, s.width, im.bytes.bytes() + 3 * r * w);
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetLabel(label(s));
}

int registerAll() {
  for (const Size s : kSizes) {
    const std::size_t n = std::size_t(s.width) * s.height;
    const std::string tag = "/" + label(s);
    for (const auto& [stage, bytes] :
         {std::pair{"gray", n * 7 / 2}, {"edgebytes", n * 5 / 2}, {"bytes", n * 2}}) {
      benchmark::RegisterBenchmark((std::string("copy_") + stage + tag).c_str(), copyBound, s,
                                   bytes);
    }
    for (const auto& [stage, k] : {std::pair{"gray", 0}, {"edges", 1}, {"bytes", 2}}) {
      benchmark::RegisterBenchmark((std::string("reference_") + stage + tag).c_str(), referencePath,
                                   k, s);
    }
    // Gray reads 3 bytes and writes 4 a pixel; expanding reads 1 and writes 3.
    benchmark::RegisterBenchmark(("band_copy_gray" + tag).c_str(), bandCopy, 7, s);
    benchmark::RegisterBenchmark(("band_copy_bytes" + tag).c_str(), bandCopy, 4, s);
    benchmark::RegisterBenchmark(("band_copy_ring" + tag).c_str(), bandStage, Isa::scalar,
                                 kRingCopy, s);
    for (const Isa isa : kAllIsas) {
      if (!isaSupported(isa)) continue;
      const std::string suffix = std::string(isaName(isa)) + tag;
      benchmark::RegisterBenchmark(("band_gray_" + suffix).c_str(), bandStage, isa, kGray, s);
      benchmark::RegisterBenchmark(("band_edges_" + suffix).c_str(), bandStage, isa, kEdges, s);
      benchmark::RegisterBenchmark(("band_bytes_" + suffix).c_str(), bandStage, isa, kTriples, s);
      benchmark::RegisterBenchmark(("gray_" + suffix).c_str(), gray, isa, s);
      benchmark::RegisterBenchmark(("edgebytes_" + suffix).c_str(), edgeBytes, isa, s);
      benchmark::RegisterBenchmark(("bytes_" + suffix).c_str(), tripleBytes, isa, s);
    }
  }
  return 0;
}
const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
