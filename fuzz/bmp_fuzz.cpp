// libFuzzer entry point: arbitrary bytes as the input file of `image`.
#include <cstddef>
#include <cstdint>

#include "fuzz/pipeline.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  runImagePipeline(data, size);
  return 0;
}
