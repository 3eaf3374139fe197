// libFuzzer entry point: arbitrary bytes as the input file of `image`, run
// through the pipeline on every instruction set this CPU has.
#include <cstddef>
#include <cstdint>

#include "fuzz/pipeline.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const Isa isa : kAllIsas) {
    if (isaSupported(isa)) runImagePipeline(data, size, isa);
  }
  return 0;
}
