// The straightforward starmote, for timing only: one malloc, the unseeded
// rand, and the force and position steps written as the physics reads, one
// ordered pair at a time. It prints the same line as starmote.
#include <cstdio>
#include <cstdlib>

#include "common/timer.hpp"
#include "starmote/bodies.hpp"
#include "tests/oracle/bodies_oracle.hpp"

int main(int argc, char** argv) {
  const int n = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 1000;
  auto* bodies = static_cast<Body*>(std::malloc(sizeof(Body) * static_cast<std::size_t>(n)));
  randomizeBodies(bodies, n);
  const double t0 = get_time();
  for (int step = 0; step < 100; ++step) {
    oracle::bodyForce(bodies, 0.01f, n);
    oracle::integrate(bodies, 0.01f, n);
  }
  const double elapsed = get_time() - t0;
  std::printf("%d Bodies with %d iterations: %0.3f Millions Interactions/second\n", n, 100,
              1e-6 * n * n / elapsed);
  std::free(bodies);
  return 0;
}
