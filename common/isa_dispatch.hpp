#pragma once

#include "common/cpu.hpp"

// Returns `call` made in the namespace of isa's path (scalar_path, sse4_path,
// avx2_path, avx512_path, avx512vbmi_path or neon_path), among those this
// architecture builds.
#if defined(__x86_64__)
#define EDGESTAR_DISPATCH(isa, call) \
  switch (isa) {                     \
    case Isa::avx512vbmi:            \
      return avx512vbmi_path::call;  \
    case Isa::avx512:                \
      return avx512_path::call;      \
    case Isa::avx2:                  \
      return avx2_path::call;        \
    case Isa::sse4:                  \
      return sse4_path::call;        \
    default:                         \
      return scalar_path::call;      \
  }
#elif defined(__aarch64__)
#define EDGESTAR_DISPATCH(isa, call) \
  switch (isa) {                     \
    case Isa::neon:                  \
      return neon_path::call;        \
    default:                         \
      return scalar_path::call;      \
  }
#else
#define EDGESTAR_DISPATCH(isa, call) \
  static_cast<void>(isa);            \
  return scalar_path::call;
#endif

// Declares the same functions in each path's namespace of this architecture.
#if defined(__x86_64__)
#define EDGESTAR_EACH_PATH(declare)                                               \
  declare(scalar_path) declare(sse4_path) declare(avx2_path) declare(avx512_path) \
      declare(avx512vbmi_path)
#elif defined(__aarch64__)
#define EDGESTAR_EACH_PATH(declare) declare(scalar_path) declare(neon_path)
#else
#define EDGESTAR_EACH_PATH(declare) declare(scalar_path)
#endif
