#include "common/cpu.hpp"

#include <cstddef>
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
    case Isa::avx512vbmi:
      return "avx512vbmi";
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
#if defined(__x86_64__)
  __builtin_cpu_init();
#endif
  switch (isa) {
    case Isa::scalar:
      return true;
#if defined(__x86_64__)
    case Isa::sse4:
      return true EDGESTAR_SSE4_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::avx2:
      return true EDGESTAR_AVX2_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::avx512:
      return true EDGESTAR_AVX512_FEATURES(EDGESTAR_CPU_HAS);
    case Isa::avx512vbmi:
      return true EDGESTAR_AVX512VBMI_FEATURES(EDGESTAR_CPU_HAS);
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

// The names of the instruction sets isas holds, or of those this CPU
// supports, separated by blanks.
template <std::size_t N>
std::string names(const Isa (&isas)[N], bool supportedOnly, char separator = ' ') {
  std::string names;
  for (const Isa isa : isas) {
    if (supportedOnly && !isaSupported(isa)) continue;
    if (!names.empty()) names += separator;
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
  const std::string supported = names(kAllIsas, true);
  for (const Isa isa : kEveryIsa) {
    if (std::strcmp(requested, isaName(isa)) != 0) continue;
    if (!isaSupported(isa)) {
      return std::string(kIsaVariable) + "=" + requested +
             ": not supported by this CPU (supported: " + supported + ")\n";
    }
    useIsa(isa);
    return "";
  }
  return std::string(kIsaVariable) + "=" + requested +
         ": unknown instruction set (known: " + names(kEveryIsa, false) +
         "; supported: " + supported + ")\n";
}

std::string builtIsaNames(char separator) { return names(kAllIsas, false, separator); }

std::string kernelsLine() {
  return std::string("kernels: ") + isaName(activeIsa()) + " (supported: " + names(kAllIsas, true) +
         ")";
}
