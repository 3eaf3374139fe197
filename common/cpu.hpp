#pragma once

// Instruction sets the kernels are built for, slowest first.
enum class Isa { scalar, avx2, avx512 };

inline constexpr Isa kAllIsas[] = {Isa::scalar, Isa::avx2, Isa::avx512};

const char* isaName(Isa isa);
bool isaSupported(Isa isa);
// The fastest instruction set this CPU runs, decided once per process.
Isa bestIsa();
// The instruction set the programs' stages run on: bestIsa(), unless a test
// chose another.
Isa activeIsa();
// For tests only, so that every path this CPU has runs the same stages:
// makes activeIsa() return isa, which isaSupported(isa) must allow.
void useIsaForTesting(Isa isa);
