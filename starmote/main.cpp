// starmote: 100 steps of an all-pairs gravity simulation, timed.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/standard_streams.hpp"
#include "starmote/run.hpp"

int main(int argc, char** argv) {
  holdStandardDescriptors();
  const int n = bodyCount(argc, argv);
  double elapsed = 0.0;
  try {
    Simulation simulation = prepare(n);
    elapsed = timeSteps(simulation, isatty(STDERR_FILENO) == 1);
  } catch (const RunError& error) {
    std::fputs(error.what(), stderr);
    return 1;
  }
  // n² interactions for the whole run, as users compare the figure across machines.
  const double rate = ((1e-6 * n) * n) / elapsed;
  std::printf("%d Bodies with %d iterations: %0.3f Millions Interactions/second\n", n, kSteps,
              rate);
  const std::string failure = flushStandardOutput();
  if (failure.empty()) return 0;
  std::fputs(failure.c_str(), stderr);
  return 1;
}
