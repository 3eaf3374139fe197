#include "image/bands.hpp"

#include <algorithm>
#include <cstring>

#include "common/timer.hpp"
#include "image/kernels.hpp"
#include "image/stage_clock.hpp"

namespace {

// The gray rows of a band: small enough to stay in a core's L2 cache (1 MiB
// on the development CPUs) while they are turned gray, swept and expanded;
// larger rings and smaller ones both measured slower.
constexpr std::size_t kRingBytes = std::size_t{256} << 10;
// The blocks the files pass through: reads and writes this large cost little
// more per byte than the copy itself, and a band's pixel bytes fit with room
// to spare.
constexpr std::size_t kBlockBytes = std::size_t{768} << 10;
// Rows too wide for the blocks go through them in pieces of this many pixels.
constexpr std::size_t kPiecePixels = 16384;
static_assert(3 * kPiecePixels <= kOutputSlack);

// Takes n rows of pixel bytes and, when wanted, turns them gray into the ring
// from row `at` on.
void takeRows(const BmpLayout& layout, const BandPlan& plan, bool gray, PixelSource& in,
              float* ring, std::size_t at, std::size_t n) {
  const auto width = static_cast<std::size_t>(layout.width);
  if (plan.wholeRows) {
    const std::uint8_t* pixels = in.take(n * layout.stride);
    const StageClock clock(Stage::gray);
    if (gray) RGB2BW(pixels, layout.stride, layout.width, n, ring + at * width);
    return;
  }
  for (std::size_t r = at; r < at + n; ++r) {
    for (std::size_t c = 0; c < width; c += kPiecePixels) {
      const std::size_t pixels = std::min(kPiecePixels, width - c);
      const std::uint8_t* bytes = in.take(3 * pixels);
      const StageClock clock(Stage::gray);
      if (gray) RGB2BW(bytes, 3 * pixels, static_cast<int>(pixels), 1, ring + r * width + c);
    }
    in.take(layout.stride - 3 * width);
  }
}

// One output row: each level byte three times, then the row's padding.
void putRow(const BmpLayout& layout, const std::uint8_t* levels, Isa isa, OutputFile& out) {
  const auto width = static_cast<std::size_t>(layout.width);
  if (levels == nullptr) {
    out.zeros(3 * width);
  } else {
    for (std::size_t c = 0; c < width; c += kPiecePixels) {
      const std::size_t pixels = std::min(kPiecePixels, width - c);
      tripleBytesKernel(isa, levels + c, static_cast<int>(pixels), out.room(3 * pixels));
      out.added(3 * pixels);
    }
  }
  out.zeros(layout.stride - 3 * width);
}

}  // namespace

BandPlan planBands(const BmpLayout& layout, std::size_t bandRows) {
  const auto width = static_cast<std::size_t>(layout.width);
  BandPlan plan;
  plan.bandRows =
      bandRows != 0 ? bandRows : std::max<std::size_t>(1, kRingBytes / (width * sizeof(float)));
  // Below 3×3 every level is 0, whatever the pixels: no gray rows are needed.
  const bool interior = layout.rows >= 3 && width >= 3;
  plan.ringRows = interior ? std::min(layout.rows, plan.bandRows + 2) : 0;
  // The first band takes ringRows rows at once.
  plan.wholeRows = std::max(plan.ringRows, plan.bandRows) * layout.stride <= kBlockBytes;
  plan.inBytes = kBlockBytes;
  plan.outBytes = kBlockBytes;
  return plan;
}

BandMemory allocateBands(const BandPlan& plan, const BmpLayout& layout) {
  const std::size_t ringBytes =
      (plan.ringRows * static_cast<std::size_t>(layout.width) * sizeof(float) + 63) &
      ~std::size_t{63};
  BandMemory memory;
  memory.memory = Buffer(ringBytes + plan.inBytes + kInputSlack + plan.outBytes + kOutputSlack);
  memory.ring = memory.memory.floats();
  memory.in = memory.memory.bytes() + ringBytes;
  memory.out = memory.in + plan.inBytes + kInputSlack;
  return memory;
}

double runBands(const BmpLayout& layout, const BmpHeader& header, bool edges, const BandPlan& plan,
                float* ring, PixelSource& in, OutputFile& out) {
  const Isa isa = activeIsa();
  const auto width = static_cast<std::size_t>(layout.width);
  const std::size_t rows = layout.rows;
  // Without a ring the rows pass a band at a time, all of level 0.
  const bool gray = edges && plan.ringRows > 0;
  const std::size_t capacity = gray ? plan.ringRows : plan.bandRows;
  double swept = 0.0;
  std::size_t have = 0;     // gray rows carried over at the start of the ring
  std::size_t next = 0;     // the next row of the file to take
  std::size_t emitted = 0;  // the next row of the output
  std::memcpy(out.room(kHeaderSize), header.bytes, kHeaderSize);
  out.added(kHeaderSize);
  // Output row r is written only once row r + 1 has been read, and the output
  // has the input's header and size: when the output is the input itself,
  // every write lands on bytes already read, and nothing is truncated.
  while (next < rows) {
    const std::size_t base = next - have;  // the file row in ring row 0
    const std::size_t n = std::min(capacity - have, rows - next);
    takeRows(layout, plan, gray, in, ring, have, n);
    next += n;
    const std::size_t held = have + n;
    const bool last = next == rows;
    if (last) {
      for (std::size_t rest = layout.dataSize - rows * layout.stride; rest > 0;) {
        const std::size_t step = std::min(rest, plan.inBytes);
        in.take(step);
        rest -= step;
      }
      in.expectEnd();
    }

    ByteLevels levels;
    if (gray) {
      const StageClock clock(Stage::edges);
      const double t0 = get_time();
      levels = laplacianBytesKernel(isa, ring, static_cast<int>(held), layout.width);
      swept += get_time() - t0;
    }
    {
      const StageClock clock(Stage::triples);
      // Ring row i (1 ≤ i ≤ held − 2) has its levels at ring row i − 1.
      for (const std::size_t until = last ? rows : base + held - 1; emitted < until; ++emitted) {
        const bool computed = levels.first != nullptr && emitted != 0 && emitted + 1 != rows;
        putRow(layout, computed ? levels.first + (emitted - base - 1) * levels.pitch : nullptr, isa,
               out);
      }
    }
    if (last) {
      out.zeros(layout.dataSize - rows * layout.stride);
    } else if (gray) {
      const StageClock clock(Stage::ring);
      std::memmove(ring, ring + (held - 2) * width, 2 * width * sizeof(float));
      have = 2;
    }
  }
  return swept;
}
