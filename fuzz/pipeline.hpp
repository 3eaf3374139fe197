#pragma once

#include <cstddef>
#include <cstdint>

#include "common/cpu.hpp"

// Runs the whole image pipeline on bytes as the contents of an input file, on
// one instruction set: header checks, the read turning blocks to gray, the
// in-place byte sweep and the write, whose file must equal the whole-array
// reference; and that instruction set's kernels on whole arrays. Aborts on
// any disagreement, naming the instruction set; sanitizers catch the rest.
void runImagePipeline(const std::uint8_t* data, std::size_t size, Isa isa);
