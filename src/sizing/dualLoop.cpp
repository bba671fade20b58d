// The outer loop: size for the current multipliers (lower bound), time the circuit (upper
// bound), re-weight the multipliers, until the two bounds meet; "convergence.txt" logs both
// after every pass.
#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>

#include "io/outputFile.h"
#include "model/netlist.h"

using namespace tambril;

namespace {

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

}  // namespace

double tambril::RelativeGap(double a, double b) {
  const double total = a + b;
  return std::fabs(a / total - b / total);
}

void CNetlist::TAMBRIL() { SolveLDP(); }

void CNetlist::DualPass(bool first) {
  Stopwatch watch;
  if (first) {
    IntializeLM();
    SolveLRSuHelper();
    lowerBound = ComputeLu(current);
    stats.startSeconds += watch.Lap();
  } else {
    SolveLRSu();
    stats.resizeSeconds += watch.Lap();
  }
  ComputeArrivalTime();
  stats.arrivalSeconds += watch.Lap();
  UpdateLM();
  stats.multiplierSeconds += watch.Lap();
}

void CNetlist::SolveLDP() {
  stats = SolveStats();
  // Only the log is lost when it cannot be written; the run goes on.
  OutputFile log;
  log.Open("convergence.txt");
  log.Put("Lower Bound\tUpper Bound").EndLine();
  log.Put("===========\t===========").EndLine();

  // The earliest pass with the smallest upper bound, and its sizes: what a run that ends at
  // the pass cap reports. Sizes are copied only when the bound improves.
  double bestDelay = std::numeric_limits<double>::infinity();
  const auto endPass = [&] {
    log.Put(lowerBound).Put("\t").Put(maxDelay).EndLine();
    std::cout << '.' << std::flush;
    ++stats.loggedPasses;
    if (maxDelay < bestDelay) {
      bestDelay = maxDelay;
      stats.reportedPass = stats.loggedPasses;
      bestSize = current.size;
    }
  };

  int iteration = 1;
  DualPass(true);
  endPass();
  for (int pass = 1;; ++pass) {
    DualPass(false);
    ++iteration;
    endPass();
    // Met, or not a number.
    if (!(RelativeGap(maxDelay, lowerBound) > outerImprove)) {
      stats.converged = true;
      break;
    }
    if (pass >= maxOuterPasses) break;
  }
  DualPass(false);
  endPass();
  stats.passes = iteration;

  std::cout << " Done!" << std::endl;
  std::cout << "Total number of iteration: " << iteration << std::endl;
  std::cout << std::endl;
  log.Close();

  if (stats.converged || stats.reportedPass == 0) {
    stats.reportedPass = stats.loggedPasses;
  } else {
    if (stats.reportedPass != stats.loggedPasses) RestoreSizes(bestSize);
    std::cerr << "Warning: the outer loop did not converge in " << maxOuterPasses
              << " passes; the result is pass " << stats.reportedPass << " of "
              << stats.loggedPasses
              << " in convergence.txt, the one with the smallest delay (--method robust "
                 "converges)"
              << std::endl;
  }
  CopyStateToParts();
}

void CNetlist::RestoreSizes(const std::vector<double>& sizes) {
  current.size = sizes;
  LoadSweep(current);
  ComputeLu(current);
  ComputeArrivalTime();
  maxDelay = outputArrival[graph.sinkPosition];
}

void CNetlist::CopyStateToParts() {
  const int n = graph.NodeCount();
  for (int p = 0; p < n; ++p) {
    CGate& gate = parts[graph.idAt[p] - 1].gate;
    gate.size = current.size[p];
    gate.loadCap = current.loadCap[p];
    gate.upstreamResistance = current.upstreamResistance[p];
    gate.delay = current.delay[p];
    gate.lambdaSum = lambdaSum[p];
    const int first = graph.fanInStart[p];
    const int count = graph.fanInStart[p + 1] - first;
    gate.lambdas.assign(lambdas.begin() + first, lambdas.begin() + first + count);
    gate.inputArrivals.assign(arrivals.begin() + first, arrivals.begin() + first + count);
  }
}
