#include "common/cpu.hpp"

#include "common/isa_features.hpp"  // generated from the one list in CMakeLists.txt

const char* isaName(Isa isa) {
  switch (isa) {
    case Isa::avx512:
      return "avx512";
    case Isa::avx2:
      return "avx2";
    case Isa::scalar:
      break;
  }
  return "scalar";
}

// && each feature the instruction set's kernel files are compiled for.
#define EDGESTAR_CPU_HAS(feature) &&__builtin_cpu_supports(#feature)

bool isaSupported(Isa isa) {
  __builtin_cpu_init();
  switch (isa) {
    case Isa::avx512:
      return true EDGESTAR_AVX512_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::avx2:
      return true EDGESTAR_AVX2_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::scalar:
      break;
  }
  return true;
}

Isa bestIsa() {
  static const Isa best = isaSupported(Isa::avx512) ? Isa::avx512
                          : isaSupported(Isa::avx2) ? Isa::avx2
                                                    : Isa::scalar;
  return best;
}

namespace {
bool chosenForTesting = false;
Isa chosen = Isa::scalar;
}  // namespace

Isa activeIsa() { return chosenForTesting ? chosen : bestIsa(); }

void useIsaForTesting(Isa isa) {
  chosen = isa;
  chosenForTesting = true;
}
