#pragma once

#include <cstdio>

// A one-line progress indicator for long runs, for a person watching a
// terminal: shown only when enabled (standard error is a terminal) and when
// the first step predicts a run longer than two seconds; at most one update a
// step. finish() erases the line, so the result line stands alone.
class Progress {
 public:
  Progress(std::FILE* out, bool enabled, int steps, double start)
      : out_(out), enabled_(enabled), steps_(steps), start_(start) {}

  // Whether step() wants to hear about the next step; when not, the caller
  // need not even read the clock.
  bool active() const { return enabled_; }
  // Called after step `done` (1 … steps) completed at time `now`, in seconds.
  void step(int done, double now);
  void finish();

 private:
  static constexpr double kWorthShowing = 2.0;  // seconds of predicted run
  static constexpr double kInterval = 0.25;     // seconds between updates

  std::FILE* out_;
  bool enabled_;
  int steps_;
  double start_;
  double lastShown_ = 0.0;
  bool shown_ = false;
};
