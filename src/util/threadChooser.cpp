#include "util/threadChooser.h"

#include "util/parallel.h"

namespace tambril {

namespace {

int Threads(int slot) { return slot == 1 ? MostThreads() : 1; }

}  // namespace

// Units 0 and 1 on every thread, 2 and 3 on one (the first of each pair warms the caches and
// is only half believed), then the faster, and the other at each trial.
void ThreadChooser::Begin() {
  if (units_ < 4) {
    slot_ = units_ < 2 ? 1 : 0;
  } else {
    slot_ = units_ == nextTrial_ ? 1 - best_ : best_;
  }
  UseThreads(Threads(slot_));
  start_ = std::chrono::steady_clock::now();
}

void ThreadChooser::End() {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  double& average = seconds_[slot_];
  average = average == 0.0 ? seconds : 0.5 * (average + seconds);
  const bool trial = units_ == nextTrial_;
  ++units_;
  if (units_ < 4) return;
  const int faster = seconds_[1] < seconds_[0] ? 1 : 0;
  if (trial) {
    // A trial that loses again waits twice as long for the next; one that wins starts over.
    interval_ = faster == best_ ? (interval_ * 2 < kLastRetrial ? interval_ * 2 : kLastRetrial)
                                : kFirstRetrial;
    nextTrial_ = units_ + interval_;
  }
  best_ = faster;
  UseThreads(Threads(best_));
}

}  // namespace tambril
