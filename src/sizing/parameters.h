#ifndef TAMBRIL_SIZING_PARAMETERS_H
#define TAMBRIL_SIZING_PARAMETERS_H

#include <chrono>
#include <string>
#include <vector>

namespace tambril::sizing {

// What the optimiser is asked to do. The command line sets the thresholds, the method and the
// log; the caps keep a threshold of 0 or below from running forever.
struct Parameters {
  // The inner loop stops when the Lagrangian value changes by no more than this fraction.
  double innerThreshold = 5e-6;
  // The outer loop stops when the relative gap between its bounds is no more than this; how a
  // method measures the gap is its own (see its stop rule).
  double outerThreshold = 0.01;
  int maxTrialSweeps = 1000;       // trial sweeps per inner loop
  int maxOuterPasses = 1000;       // passes of the outer loop
  std::string method = "classic";  // a name of the method table (method.h)
  // Whether the optimiser chooses, sweep by sweep, between one thread and every thread started
  // (ThreadChooser); otherwise every loop uses the threads in use when it starts.
  bool chooseThreads = false;
  // Above 0: minimise the total gate size subject to a circuit delay of at most this many
  // seconds (areaMethod.h), instead of minimising the delay.
  double delayTarget = 0.0;
  std::string logPath = "convergence.txt";
  std::vector<std::string> logApart;  // files the log must never be: the run's inputs
};

// Counters and timers of one optimisation, kept by the loop that they measure.
struct Statistics {
  int passes = 0;                  // the count printed after "Total number of iteration: "
  int outerPasses = 0;             // passes of the outer loop, the starting one not counted
  int loggedPasses = 0;            // value lines written to the log
  int reportedPass = 0;            // the value line (1 = first) whose sizes the result holds;
                                   // 0 for the starting sizes when they were never logged
  bool converged = false;          // the stop rule was met, not a cap
  long long resizeSweeps = 0;      // resize sweeps, trial sweeps included
  double startSeconds = 0.0;       // starting multipliers, sizes, loads and value
  double resizeSeconds = 0.0;      // the inner loop
  double arrivalSeconds = 0.0;     // arrival times
  double multiplierSeconds = 0.0;  // multiplier updates
  // Lower bounds certified by a tight inner solve, and the best of them (0 when none).
  int certificates = 0;
  double certifiedLower = 0.0;
  // Logged passes whose upper bound is the delay of the averaged sizes (robust).
  int averagedPasses = 0;
  // With a delay target: no sizing met it, and the result is the fastest one seen.
  bool targetMissed = false;
};

// Seconds between laps, for the timers of Statistics.
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

// |a / (a + b) - b / (a + b)|, each quotient formed on its own: the relative change that the
// inner loop and the classic outer loop test against their thresholds. Not a number when
// a + b is 0.
double RelativeGap(double a, double b);

// (upper - lower) / lower: how far above a lower bound an upper bound lies. Not a number when
// both are 0.
double Excess(double upper, double lower);

}  // namespace tambril::sizing

#endif
