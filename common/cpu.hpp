#pragma once

// Instruction sets the kernels are built for, slowest first.
enum class Isa { scalar, avx2, avx512 };

inline constexpr Isa kAllIsas[] = {Isa::scalar, Isa::avx2, Isa::avx512};

const char* isaName(Isa isa);
bool isaSupported(Isa isa);
// The fastest instruction set this CPU runs, decided once per process.
Isa bestIsa();
