// One force step on each instruction set, in pairs per second, beside the
// scalar oracle: n·(n − 1) pair evaluations per step.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "starmote/bodies.hpp"
#include "tests/oracle/bodies_oracle.hpp"

namespace {

std::vector<Body> bodiesOf(int n) {
  std::srand(1);
  std::vector<Body> b(static_cast<std::size_t>(n));
  randomizeBodies(b.data(), n);
  return b;
}

void report(benchmark::State& state, int n) {
  const double pairs = static_cast<double>(n) * (n - 1);
  state.counters["pairs/s"] =
      benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate);
}

void path(benchmark::State& state, Isa isa) {
  const int n = static_cast<int>(state.range(0));
  std::vector<Body> b = bodiesOf(n);
  for (auto _ : state) {
    bodyForce(isa, b.data(), 0.01f, n);
    benchmark::ClobberMemory();
  }
  report(state, n);
}

void oracleStep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<Body> b = bodiesOf(n);
  for (auto _ : state) {
    oracle::bodyForce(b.data(), 0.01f, n);
    benchmark::ClobberMemory();
  }
  report(state, n);
}

int registerAll() {
  const std::vector<long> sizes = {256, 1000, 2048, 4096, 8192, 16384};
  for (long n : sizes) {
    benchmark::RegisterBenchmark("oracle", oracleStep)->Arg(n)->Unit(benchmark::kMillisecond);
    for (const Isa isa : kAllIsas) {
      if (!isaSupported(isa)) continue;
      benchmark::RegisterBenchmark(isaName(isa), path, isa)->Arg(n)->Unit(benchmark::kMillisecond);
    }
  }
  return 0;
}
const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
