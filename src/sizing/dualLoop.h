#ifndef TAMBRIL_SIZING_DUALLOOP_H
#define TAMBRIL_SIZING_DUALLOOP_H

namespace tambril {

// How the outer loop re-weights the multipliers.
enum class Method {
  kClassic,  // the ratio of arrival times at every pin; stops on the gap or at the pass cap
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
};

// |a / (a + b) - b / (a + b)|, each quotient formed on its own: the relative change that both
// loops test against their thresholds. Not a number when a + b is 0.
double RelativeGap(double a, double b);

}  // namespace tambril

#endif
