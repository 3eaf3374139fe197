#pragma once

#include <memory>
#include <stdexcept>

#include "starmote/bodies.hpp"

inline constexpr int kSteps = 100;
inline constexpr float kDt = 0.01f;

// A failure of a run, carrying the exact text (newline included) that the
// program prints on standard error before exiting with 1.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The body count: 1000 without an argument, otherwise strtol's reading of
// the first argument truncated to 32 bits. Throws RunError when that is
// negative.
int bodyCount(int argc, char** argv);

struct Simulation {
  int n = 0;
  std::unique_ptr<Body[]> bodies;
};

// n random bodies, with everything the timed steps need already allocated.
// Throws RunError when memory runs out.
Simulation prepare(int n);

// The steps between two readings of the timer; returns the elapsed seconds.
// With showProgress, long runs show a progress line on standard error.
double timeSteps(Simulation& simulation, bool showProgress);
