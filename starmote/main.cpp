// starmote: 100 steps of an all-pairs gravity simulation, timed.
#include <unistd.h>

#include <cstdio>

#include "common/options.hpp"
#include "starmote/run.hpp"

namespace {
const char kHelp[] =
    "Usage: starmote [COUNT]\n"
    "Runs 100 steps of an all-pairs gravity simulation of COUNT random bodies (1000\n"
    "by default) in single precision and prints the rate in millions of\n"
    "interactions per second on standard output.\n"
    "\n"
    "COUNT is read as a base-10 integer the way strtol reads it (\"12xyz\" is 12,\n"
    "\"abc\" is 0) and must not be negative. A failure prints one message on\n"
    "standard error and exits with status 1.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and the kernels this CPU runs, and exit\n"
    "\n"
    "EDGESTAR_ISA={isas} runs that instruction set's kernels\n"
    "instead of the fastest this CPU supports (--version lists them).\n"
    "\n"
    "See starmote(1) for the details.\n";
}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  if (answerCommonOptions(argc, argv, "starmote", kHelp, status)) return status;
  int n = 0;
  double elapsed = 0.0;
  try {
    n = bodyCount(argc, argv);
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
  return finishStandardOutput();
}
