// starmote: 100 steps of an all-pairs gravity simulation, timed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "common/timer.hpp"
#include "starmote/bodies.hpp"
#include "starmote/progress.hpp"

namespace {
constexpr int kSteps = 100;
constexpr float kDt = 0.01f;
}  // namespace

int main(int argc, char** argv) {
  int n = 1000;
  if (argc > 1) {
    // strtol's reading, then the low 32 bits, as a C int conversion keeps them.
    n = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtol(argv[1], nullptr, 10)));
  }
  std::unique_ptr<Body[]> bodies;
  if (n > 0) {
    bodies.reset(new (std::nothrow) Body[static_cast<std::size_t>(n)]);
    if (!bodies) {
      std::fprintf(stderr, "Not enough memory for %d bodies (%lld bytes)\n", n,
                   static_cast<long long>(n) * static_cast<long long>(sizeof(Body)));
      return 1;
    }
  }
  randomizeBodies(bodies.get(), n);

  const double t0 = get_time();
  Progress progress(stderr, isatty(STDERR_FILENO) == 1, kSteps, t0);
  try {
    for (int step = 0; step < kSteps; ++step) {
      bodyForce(bodies.get(), kDt, n);
      integrate(bodies.get(), kDt, n);
      if (progress.active()) progress.step(step + 1, get_time());
    }
  } catch (const std::bad_alloc&) {
    // The force step's working copy of the bodies, sized on the first step.
    progress.finish();
    std::fprintf(stderr, "Not enough memory for the force step of %d bodies\n", n);
    return 1;
  }
  const double t1 = get_time();
  progress.finish();
  const double elapsed = t1 - t0;
  // n² interactions for the whole run, as users compare the figure across machines.
  const double rate = ((1e-6 * n) * n) / elapsed;
  std::printf("%d Bodies with %d iterations: %0.3f Millions Interactions/second\n", n, kSteps,
              rate);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
