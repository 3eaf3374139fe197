#include "starmote/run.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "common/standard_streams.hpp"
#include "common/timer.hpp"
#include "starmote/progress.hpp"

int bodyCount(int argc, char** argv) {
  if (argc < 2) return 1000;
  // strtol's reading, then the low 32 bits, as a C int conversion keeps them.
  const long read = std::strtol(argv[1], nullptr, 10);
  const auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(read));
  // A negative count would print a rate for a simulation that did nothing.
  if (n < 0) {
    const std::string value = std::to_string(n);
    // Say how a count that does not read as typed was read: cut to 32 bits,
    // or only written another way (" -7", "-05").
    std::string how;
    if (read != n) {
      how = ": '" + printable(argv[1]) + "' read as a 32-bit count";
    } else if (value != argv[1]) {
      how = ": read from '" + printable(argv[1]) + "'";
    }
    throw RunError("Body count must be 0 or more, not " + value + how + "\n");
  }
  return n;
}

Simulation prepare(int n) {
  Simulation simulation;
  simulation.n = n;
  if (n <= 0) return simulation;
  simulation.bodies.reset(new (std::nothrow) Body[static_cast<std::size_t>(n)]);
  if (!simulation.bodies) {
    char text[96];
    std::snprintf(text, sizeof text, "Not enough memory for %d bodies (%lld bytes)\n", n,
                  static_cast<long long>(n) * static_cast<long long>(sizeof(Body)));
    throw RunError(text);
  }
  randomizeBodies(simulation.bodies.get(), n);
  try {
    reserveBodyForce(n);
  } catch (const std::bad_alloc&) {
    throw RunError("Not enough memory for the force step of " + std::to_string(n) + " bodies\n");
  }
  return simulation;
}

double timeSteps(Simulation& simulation, bool showProgress) {
  Body* bodies = simulation.bodies.get();
  const int n = simulation.n;
  const double t0 = get_time();
  Progress progress(stderr, showProgress, kSteps, t0);
  for (int step = 0; step < kSteps; ++step) {
    bodyForce(bodies, kDt, n);
    integrate(bodies, kDt, n);
    if (progress.active()) progress.step(step + 1, get_time());
  }
  const double t1 = get_time();
  progress.finish();
  return t1 - t0;
}
