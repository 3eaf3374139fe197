#include "common/timer.hpp"

#include <chrono>

double get_time() {
  // steady_clock, not the wall clock: an NTP step or a manual clock change
  // during a run must not turn into a negative or inflated elapsed time.
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<double>(ns) / 1e9;
}
