#ifndef TAMBRIL_SIZING_DUALLOOP_H
#define TAMBRIL_SIZING_DUALLOOP_H

#include <chrono>

namespace tambril {

// How the outer loop re-weights the multipliers, and when it stops.
enum class Method {
  kClassic,  // the ratio of arrival times at every pin; stops on the gap or at the pass cap
  kRobust,   // steps in stage delays, damped where they oscillate (RobustMultipliers); stops
             // when the best delay is within the outer threshold of a certified lower bound
};

// Counters and timers of one optimisation, kept by the loop that they measure.
struct SolveStats {
  int passes = 0;                  // the count printed after "Total number of iteration: "
  int loggedPasses = 0;            // value lines written to convergence.txt
  int reportedPass = 0;            // the value line (1 = first) whose sizes the result holds
  bool converged = false;          // the gap test ended the loop, not the pass cap
  long long resizeSweeps = 0;      // resize sweeps, trial sweeps included
  double startSeconds = 0.0;       // starting multipliers, sizes, loads and value
  double resizeSeconds = 0.0;      // the inner loop
  double arrivalSeconds = 0.0;     // arrival times
  double multiplierSeconds = 0.0;  // multiplier updates
  // The robust method: lower bounds certified by a tight inner solve, and the best of them
  // (0 when none was made).
  int certificates = 0;
  double certifiedLower = 0.0;
};

// Seconds between laps, for the timers of SolveStats.
class Stopwatch {
 public:
  // Seconds since the last call (or since construction).
  double Lap() {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    return seconds;
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// |a / (a + b) - b / (a + b)|, each quotient formed on its own: the relative change that both
// loops test against their thresholds. Not a number when a + b is 0.
double RelativeGap(double a, double b);

// (upper - lower) / lower: how far above a lower bound an upper bound lies, the gap that the
// robust method tests. Not a number when both are 0.
double Excess(double upper, double lower);

}  // namespace tambril

#endif
