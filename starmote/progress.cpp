#include "starmote/progress.hpp"

void Progress::step(int done, double now) {
  if (!enabled_) return;
  const double elapsed = now - start_;
  if (done == 1 && elapsed * steps_ < kWorthShowing) {
    enabled_ = false;  // a short run: never show anything
    return;
  }
  if (shown_ && now - lastShown_ < kInterval && done < steps_) return;
  std::fprintf(out_, "\rstarmote: step %d of %d, %.1f s", done, steps_, elapsed);
  std::fflush(out_);
  lastShown_ = now;
  shown_ = true;
}

void Progress::finish() {
  if (!shown_) return;
  std::fputs("\r\033[K", out_);  // back to the start of the line, and clear it
  std::fflush(out_);
  shown_ = false;
}
