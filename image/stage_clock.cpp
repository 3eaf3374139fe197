// Stage clocks of the bench-only build: the monotonic clock, which costs
// about 20 ns a reading against half a microsecond for a thread's CPU time;
// a run is one thread that does not wait, so the two agree but for
// preemption, and the bench compares the sum with the process's CPU time.
#include "image/stage_clock.hpp"

#include <cstdio>
#include <ctime>

namespace {

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Totals {
  double seconds[kStages] = {};
  Stage open[8] = {};
  int depth = 0;
  double mark = 0.0;
  ~Totals() {
    std::fprintf(stderr,
                 "stages (ms): read %.4f gray %.4f edges %.4f triples %.4f ring %.4f write %.4f\n",
                 seconds[0] * 1e3, seconds[1] * 1e3, seconds[2] * 1e3, seconds[3] * 1e3,
                 seconds[4] * 1e3, seconds[5] * 1e3);
  }
};
Totals totals;

}  // namespace

StageClock::StageClock(Stage stage) : stage_(stage) {
  const double t = now();
  if (totals.depth > 0)
    totals.seconds[static_cast<int>(totals.open[totals.depth - 1])] += t - totals.mark;
  totals.open[totals.depth++] = stage;
  totals.mark = t;
}

StageClock::~StageClock() {
  const double t = now();
  totals.seconds[static_cast<int>(stage_)] += t - totals.mark;
  --totals.depth;
  totals.mark = t;
}
