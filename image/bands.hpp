#pragma once

#include <cstddef>
#include <cstdint>

#include "common/buffer.hpp"
#include "image/bmp.hpp"
#include "image/files.hpp"

// How a run splits an image into bands of rows, and the memory that takes.
// A run holds only one band of gray rows, so its memory stays in the cache
// and does not grow with the image's height.
struct BandPlan {
  std::size_t bandRows = 0;  // B: rows taken, turned gray and swept together
  std::size_t ringRows = 0;  // gray rows held: B and the two rows a band shares
                             // with the next, or the whole of a shorter image;
                             // none for an image without interior pixels
  bool wholeRows = true;     // a band's pixel bytes are taken at once;
                             // otherwise each row comes in pieces
  std::size_t inBytes = 0;   // the block the input is read through
  std::size_t outBytes = 0;  // the block the output is written through
};

// The plan for an image; bandRows 0 chooses the band for the cache, any other
// value forces it (for tests).
BandPlan planBands(const BmpLayout& layout, std::size_t bandRows = 0);

// The memory of a run, in one mapping: the ring of gray rows and the blocks.
struct BandMemory {
  Buffer memory;
  float* ring = nullptr;
  std::uint8_t* in = nullptr;   // plan.inBytes and kInputSlack
  std::uint8_t* out = nullptr;  // plan.outBytes and kOutputSlack
};
BandMemory allocateBands(const BandPlan& plan, const BmpLayout& layout);

// Runs the image through its bands, in order. Each band's pixel bytes are
// taken from in and turned gray into the ring; with edges, the ring is swept
// in place, and only that sweep is timed; the band's levels are expanded and
// added to out. The ring's last two gray rows carry over to the next band.
// Without edges every level is 0. Returns the sum of the sweep times, in
// seconds.
double runBands(const BmpLayout& layout, const BmpHeader& header, bool edges, const BandPlan& plan,
                float* ring, PixelSource& in, OutputFile& out);
