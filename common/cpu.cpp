#include "common/cpu.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "common/isa_features.hpp"  // generated from the one list in CMakeLists.txt

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

#define EDGESTAR_FEATURE_NAME(feature) #feature,

namespace {
// Every feature a kernel is compiled for, and an empty name: an
// architecture's list may be empty.
constexpr std::string_view kKnownFeatures[] = {EDGESTAR_ALL_FEATURES(EDGESTAR_FEATURE_NAME) ""};
}  // namespace

CpuFeatures cpuFeatures() {
  struct Found {
    std::string_view names[std::size(kKnownFeatures)];
    std::size_t count = 0;
  };
  static const Found found = [] {
    Found f;
#if defined(__x86_64__)
    __builtin_cpu_init();
    // __builtin_cpu_supports takes only a literal, so each name is spelled out.
#define EDGESTAR_NOTE_FEATURE(feature) \
  if (__builtin_cpu_supports(#feature)) f.names[f.count++] = #feature;
    EDGESTAR_ALL_FEATURES(EDGESTAR_NOTE_FEATURE)
#undef EDGESTAR_NOTE_FEATURE
#endif
    return f;
  }();
  return {found.names, found.count};
}

bool isaRunsOn(Isa isa, CpuFeatures features) {
  const auto hasAll = [&](std::initializer_list<std::string_view> needed) {
    return std::all_of(needed.begin(), needed.end(), [&](std::string_view name) {
      return std::find(features.begin(), features.end(), name) != features.end();
    });
  };
  switch (isa) {
    case Isa::scalar:
      return true;
#if defined(__x86_64__)
    case Isa::sse4:
      return hasAll({EDGESTAR_SSE4_FEATURES(EDGESTAR_FEATURE_NAME)});
    case Isa::avx2:
      return hasAll({EDGESTAR_AVX2_FEATURES(EDGESTAR_FEATURE_NAME)});
    case Isa::avx512:
      return hasAll({EDGESTAR_AVX512_FEATURES(EDGESTAR_FEATURE_NAME)});
    case Isa::avx512vbmi:
      return hasAll({EDGESTAR_AVX512VBMI_FEATURES(EDGESTAR_FEATURE_NAME)});
#elif defined(__aarch64__)
    case Isa::neon:
      return true;  // Advanced SIMD is part of the base architecture
#endif
    default:
      static_cast<void>(hasAll);
      return false;
  }
}

Isa fastestIsa(CpuFeatures features) {
  Isa fastest = Isa::scalar;
  for (const Isa isa : kAllIsas) {
    if (isaRunsOn(isa, features)) fastest = isa;
  }
  return fastest;
}

bool isaSupported(Isa isa) { return isaRunsOn(isa, cpuFeatures()); }

Isa bestIsa() {
  static const Isa best = fastestIsa(cpuFeatures());
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
