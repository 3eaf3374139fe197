#pragma once

#include <cstddef>
#include <cstdint>

// Runs the whole image pipeline on bytes as the contents of an input file:
// header checks, pixel read, gray conversion, edges on every instruction set
// this CPU has (compared with the scalar reference), byte encoding and the
// write. Aborts on any disagreement; sanitizers catch the rest.
void runImagePipeline(const std::uint8_t* data, std::size_t size);
