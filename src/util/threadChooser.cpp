#include "util/threadChooser.h"

#include "util/parallel.h"

namespace tambril {

namespace {

int Threads(int slot) { return slot == 1 ? MostThreads() : 1; }

}  // namespace

// Units 0 and 1 on every thread, 2 and 3 on one, timed on units 1 and 3; then the faster,
// and the other for two units at each trial.
void ThreadChooser::Begin() {
  if (units_ < 4) {
    slot_ = units_ < 2 ? 1 : 0;
  } else {
    const bool trial = units_ == nextTrial_ || units_ == nextTrial_ + 1;
    slot_ = trial ? 1 - best_ : best_;
  }
  UseThreads(Threads(slot_));
  start_ = std::chrono::steady_clock::now();
}

void ThreadChooser::End() {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const long long unit = units_++;
  if (unit < 4) {
    if (unit == 1 || unit == 3) seconds_[slot_] = seconds;
    if (unit < 3) return;
  } else if (unit == nextTrial_) {
    return;  // the first unit of a trial only warms the caches
  } else if (unit == nextTrial_ + 1) {
    seconds_[slot_] = seconds;
    // A trial that loses again waits twice as long for the next; one that wins starts over.
    const bool lost = !(seconds_[slot_] < seconds_[best_]);
    interval_ =
        lost ? (interval_ * 2 < kLastRetrial ? interval_ * 2 : kLastRetrial) : kFirstRetrial;
    nextTrial_ = units_ + interval_;
  } else {
    seconds_[slot_] = 0.5 * (seconds_[slot_] + seconds);
  }
  best_ = seconds_[1] < seconds_[0] ? 1 : 0;
  UseThreads(Threads(best_));
}

}  // namespace tambril
