#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/bmp.hpp"

namespace oracle {

// The file the program must write for a valid input file, computed with the
// reference kernels alone, whole arrays at a time: the input's header, then
// each row's levels (the clamped edges, or 0 without them) as gray triples in
// the input's row layout, padding and trailing bytes 0.
std::vector<std::uint8_t> imageOutput(const std::uint8_t* file, const BmpLayout& layout,
                                      bool edges);

}  // namespace oracle
