#pragma once

// The stages of a run. A bench-only build of the image library
// (EDGESTAR_STAGE_CLOCK) times each one where the run does it and reports
// the totals on standard error at exit, to show where a real run's time
// goes; in the programs' own build a StageClock is nothing at all.
enum class Stage { read, gray, edges, triples, ring, write };
inline constexpr int kStages = 6;

#if defined(EDGESTAR_STAGE_CLOCK)
// Charges the time from its making to its end to its stage, less the time
// of the clocks made while it runs, which charge theirs.
class StageClock {
 public:
  explicit StageClock(Stage stage);
  StageClock(const StageClock&) = delete;
  StageClock& operator=(const StageClock&) = delete;
  ~StageClock();

 private:
  Stage stage_;
};
#else
class StageClock {
 public:
  explicit StageClock(Stage) {}
};
#endif
