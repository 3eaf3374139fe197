#pragma once

#include <span>
#include <string>
#include <string_view>

// Instruction sets the kernels are written for. A build carries those of its
// architecture (kAllIsas); the fastest the CPU supports runs unless the user
// or a test chooses another.
enum class Isa { scalar, sse4, avx2, avx512, avx512vbmi, neon };

// Every instruction set a build may carry, by the names EDGESTAR_ISA takes.
inline constexpr Isa kEveryIsa[] = {Isa::scalar, Isa::sse4,       Isa::avx2,
                                    Isa::avx512, Isa::avx512vbmi, Isa::neon};

// The instruction sets of this build, slowest first.
#if defined(__x86_64__)
inline constexpr Isa kAllIsas[] = {Isa::scalar, Isa::sse4, Isa::avx2, Isa::avx512, Isa::avx512vbmi};
#elif defined(__aarch64__)
inline constexpr Isa kAllIsas[] = {Isa::scalar, Isa::neon};
#else
inline constexpr Isa kAllIsas[] = {Isa::scalar};
#endif

const char* isaName(Isa isa);

// CPU features by the names __builtin_cpu_supports takes ("avx512vbmi").
using CpuFeatures = std::span<const std::string_view>;
// This CPU's features among those the kernels are compiled for, found once:
// asking costs no allocation.
CpuFeatures cpuFeatures();
// Whether this build carries isa and a CPU with these features runs it:
// each feature its kernel files are compiled for is there.
bool isaRunsOn(Isa isa, CpuFeatures features);
// The fastest instruction set of this build a CPU with these features runs.
Isa fastestIsa(CpuFeatures features);

// Whether this build carries isa and this CPU runs it.
bool isaSupported(Isa isa);
// The fastest instruction set this CPU runs, decided once per process.
Isa bestIsa();
// The instruction set the programs' stages run on: bestIsa() unless
// useIsa chose another.
Isa activeIsa();
// Makes activeIsa() return isa, which isaSupported(isa) must allow.
void useIsa(Isa isa);

// The environment variable that chooses the instruction set.
inline constexpr char kIsaVariable[] = "EDGESTAR_ISA";
// Chooses the instruction set a user asked for in kIsaVariable (null or
// empty: the fastest). Returns the message for a name that is unknown or not
// supported here (newline included), or an empty string once it is in use.
std::string useRequestedIsa(const char* requested);
// The names of this build's instruction sets, slowest first, joined by
// separator.
std::string builtIsaNames(char separator);
// "kernels: NAME (supported: NAME …)", the active instruction set and those
// this CPU supports, for --version.
std::string kernelsLine();
