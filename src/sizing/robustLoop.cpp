// The outer loop of the robust method. Each pass sizes for the current multipliers (the inner
// loop at its own threshold, from the sizes of the pass before), times the circuit and logs
// both bounds, then re-weights the multipliers (RobustMultipliers). The result is always the
// fastest sizing seen, the minimum sizes included.
//
// A pass's lower bound is the Lagrangian value of sizes that the inner loop has not quite
// settled, and can lie above the true minimum of the Lagrangian. So the loop stops only on a
// certificate: when a pass looks close enough, the inner loop is run from that pass's sizes to
// a threshold far below the outer one, on a copy, and the value it reaches is logged on a line
// of its own (with the pass's upper bound). The run has converged when the best delay is
// within the outer threshold of such a certified value: (best - certified) / certified <=
// OUTER. The copy keeps the passes themselves undisturbed: the sizes of a pass, which trail the
// multipliers by a few sweeps, are the better sizing.
#include <algorithm>
#include <limits>

#include "model/netlist.h"

using namespace tambril;

void CNetlist::RobustLoop() {
  Stopwatch watch;
  IntializeLM();
  robust.Start(graph, lambdas, lambdaSum);
  SolveLRSuHelper();
  ComputeLu(current);
  ComputeArrivalTime();
  // No result is slower than leaving every gate at its minimum size.
  bestDelay_ = outputArrival[graph.sinkPosition];
  bestSize = current.size;
  stats.reportedPass = 0;
  stats.startSeconds += watch.Lap();

  const double certifyThreshold =
      std::min(innerImprove, robust.parameters.certifyShare * outerImprove);
  // How far the last certified value fell below its pass's own: a pass is worth certifying
  // when its value less this shortfall would meet the threshold.
  double shortfall = 0.0;
  double certified = -std::numeric_limits<double>::infinity();
  for (int pass = 1;; ++pass) {
    SolveLRSu();
    stats.resizeSeconds += watch.Lap();
    ComputeArrivalTime();
    maxDelay = outputArrival[graph.sinkPosition];
    stats.arrivalSeconds += watch.Lap();
    LogPass();

    // Met, or not a number.
    if (!(Excess(bestDelay_, lowerBound - shortfall) > outerImprove)) {
      const double passValue = lowerBound;
      lowerBound = CertifiedLowerBound(certifyThreshold);
      stats.resizeSeconds += watch.Lap();
      LogPass();
      ++stats.certificates;
      certified = std::max(certified, lowerBound);
      stats.certifiedLower = certified;
      shortfall = std::max(0.0, passValue - lowerBound);
      if (!(Excess(bestDelay_, certified) > outerImprove)) {
        stats.converged = true;
        break;
      }
    }
    if (pass >= maxOuterPasses) break;
    robust.Update(graph, current.delay, arrivals, lambdas, lambdaSum);
    stats.multiplierSeconds += watch.Lap();
  }
  stats.passes = stats.loggedPasses;
}

double CNetlist::CertifiedLowerBound(double threshold) {
  certifying_ = current;
  SolveInner(threshold);
  current.Swap(certifying_);
  return lowerBound;
}
