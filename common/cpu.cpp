#include "common/cpu.hpp"

#include <cstring>

#if defined(__x86_64__)
#include "common/isa_features.hpp"  // generated from the one list in CMakeLists.txt
#endif

const char* isaName(Isa isa) {
  switch (isa) {
    case Isa::sse4:
      return "sse4";
    case Isa::avx2:
      return "avx2";
    case Isa::avx512:
      return "avx512";
    case Isa::neon:
      return "neon";
    case Isa::scalar:
      break;
  }
  return "scalar";
}

#if defined(__x86_64__)
// && each feature the instruction set's kernel files are compiled for.
#define EDGESTAR_CPU_HAS(feature) &&__builtin_cpu_supports(#feature)
#endif

bool isaSupported(Isa isa) {
  switch (isa) {
    case Isa::scalar:
      return true;
#if defined(__x86_64__)
    case Isa::sse4:
      __builtin_cpu_init();
      return true EDGESTAR_SSE4_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::avx2:
      __builtin_cpu_init();
      return true EDGESTAR_AVX2_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::avx512:
      __builtin_cpu_init();
      return true EDGESTAR_AVX512_FEATURES(EDGESTAR_CPU_HAS);
#elif defined(__aarch64__)
    case Isa::neon:
      return true;  // Advanced SIMD is part of the base architecture
#endif
    default:
      return false;
  }
}

Isa bestIsa() {
  static const Isa best = [] {
    Isa fastest = Isa::scalar;
    for (const Isa isa : kAllIsas) {
      if (isaSupported(isa)) fastest = isa;
    }
    return fastest;
  }();
  return best;
}

namespace {
bool chosen = false;
Isa chosenIsa = Isa::scalar;

std::string supportedNames() {
  std::string names;
  for (const Isa isa : kAllIsas) {
    if (!isaSupported(isa)) continue;
    if (!names.empty()) names += ' ';
    names += isaName(isa);
  }
  return names;
}
}  // namespace

Isa activeIsa() { return chosen ? chosenIsa : bestIsa(); }

void useIsa(Isa isa) {
  chosenIsa = isa;
  chosen = true;
}

std::string useRequestedIsa(const char* requested) {
  if (requested == nullptr || *requested == '\0') {
    useIsa(bestIsa());
    return "";
  }
  for (const Isa isa : {Isa::scalar, Isa::sse4, Isa::avx2, Isa::avx512, Isa::neon}) {
    if (std::strcmp(requested, isaName(isa)) != 0) continue;
    if (!isaSupported(isa)) {
      return std::string(kIsaVariable) + "=" + requested +
             ": not supported by this CPU (supported: " + supportedNames() + ")\n";
    }
    useIsa(isa);
    return "";
  }
  return std::string(kIsaVariable) + "=" + requested +
         ": unknown instruction set (known: scalar sse4 avx2 avx512 neon; supported: " +
         supportedNames() + ")\n";
}

std::string kernelsLine() {
  return std::string("kernels: ") + isaName(activeIsa()) + " (supported: " + supportedNames() + ")";
}
