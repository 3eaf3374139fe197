#include "common/cpu.hpp"

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

bool isaSupported(Isa isa) {
  __builtin_cpu_init();
  switch (isa) {
    // Everything each kernel file is compiled for (see CMakeLists.txt).
    case Isa::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
             isaSupported(Isa::avx2);
    case Isa::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
             __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
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
