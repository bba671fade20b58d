#ifndef TAMBRIL_UTIL_THREADCHOOSER_H
#define TAMBRIL_UTIL_THREADCHOOSER_H

#include <chrono>

namespace tambril {

// Chooses the thread count for a unit of work that repeats at about the same cost (a sweep of
// the optimiser): one thread, or every thread started (MostThreads). Two threads are not always
// faster than one: every level of a sweep ends at a barrier, where the first thread waits for
// the last, and on a machine whose cores are busy with other work the last may be waiting for a
// core; circuits with narrow levels pay the hand-over at every level. So it times the units:
// both counts are tried first and the faster is used; the other is tried again now and then,
// in case the machine's load has changed, less and less often while it keeps losing. The
// choice changes no result: every parallel loop gives the same bits for any count.
//
// A count is always timed on the second of two units in a row: the first after a change pays
// for caches that the other count filled, and the very first unit for the first touches of
// the optimiser's memory, which would make whichever count goes first look slow. A trial's
// time replaces what was known of its count, which may be many units old.
class ThreadChooser {
 public:
  // Units between two trials of the count not in use: at first, and at most.
  static constexpr long long kFirstRetrial = 16;
  static constexpr long long kLastRetrial = 512;

  // Chooses the count for the next unit (UseThreads) and starts its clock.
  void Begin();
  // Stops the clock of the unit begun last, learns from its time, and leaves the faster count
  // in use for the work between units.
  void End();

 private:
  long long units_ = 0;
  long long nextTrial_ = 4 + kFirstRetrial;  // the first of a trial's two units
  long long interval_ = kFirstRetrial;
  int slot_ = 1;            // the count of the running unit: 0 one thread, 1 every thread
  int best_ = 1;            // the faster so far
  double seconds_[2] = {};  // seconds per unit, smoothed while in use
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tambril

#endif
