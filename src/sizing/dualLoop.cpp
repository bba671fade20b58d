// The outer loop: size for the current multipliers (lower bound), time the circuit (upper
// bound), re-weight the multipliers, until the two bounds meet; "convergence.txt" logs both
// after every pass.
#include <cmath>
#include <iostream>
#include <limits>

#include "io/outputFile.h"
#include "model/netlist.h"

using namespace tambril;

double tambril::RelativeGap(double a, double b) {
  const double total = a + b;
  return std::fabs(a / total - b / total);
}

double tambril::Excess(double upper, double lower) { return (upper - lower) / lower; }

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
  passLog_.Open("convergence.txt");
  passLog_.Put("Lower Bound\tUpper Bound").EndLine();
  passLog_.Put("===========\t===========").EndLine();
  bestDelay_ = std::numeric_limits<double>::infinity();

  if (method == Method::kRobust) {
    RobustLoop();
  } else {
    ClassicLoop();
  }

  std::cout << " Done!" << std::endl;
  std::cout << "Total number of iteration: " << stats.passes << std::endl;
  std::cout << std::endl;
  passLog_.Close();

  // The classic loop reports its last pass when the bounds met; otherwise the result is the
  // best pass, timed again.
  if (method == Method::kClassic && (stats.converged || stats.reportedPass == 0)) {
    stats.reportedPass = stats.loggedPasses;
  } else {
    if (stats.reportedPass != stats.loggedPasses) RestoreSizes(bestSize);
    if (!stats.converged) {
      std::cerr << "Warning: the outer loop did not converge in " << maxOuterPasses
                << " passes; the result is ";
      if (stats.reportedPass == 0) {
        std::cerr << "every gate at its minimum size, faster than every pass";
      } else {
        std::cerr << "pass " << stats.reportedPass << " of " << stats.loggedPasses
                  << " in convergence.txt, the one with the smallest delay";
      }
      if (method == Method::kClassic) std::cerr << " (--method robust converges)";
      std::cerr << std::endl;
    }
  }
  CopyStateToParts();
}

// The earliest pass with the smallest upper bound, and its sizes: what a run reports when it
// does not report its last pass. Sizes are copied only when the bound improves.
void CNetlist::LogPass() {
  passLog_.Put(lowerBound).Put("\t").Put(maxDelay).EndLine();
  std::cout << '.' << std::flush;
  ++stats.loggedPasses;
  if (maxDelay < bestDelay_) {
    bestDelay_ = maxDelay;
    stats.reportedPass = stats.loggedPasses;
    bestSize = current.size;
  }
}

void CNetlist::ClassicLoop() {
  int iteration = 1;
  DualPass(true);
  LogPass();
  for (int pass = 1;; ++pass) {
    DualPass(false);
    ++iteration;
    LogPass();
    // Met, or not a number.
    if (!(RelativeGap(maxDelay, lowerBound) > outerImprove)) {
      stats.converged = true;
      break;
    }
    if (pass >= maxOuterPasses) break;
  }
  DualPass(false);
  LogPass();
  stats.passes = iteration;
}

void CNetlist::RestoreSizes(const std::vector<double>& sizes) {
  current.size = sizes;
  LoadSweep(current);
  ComputeLu(current);
  ComputeArrivalTime();
  maxDelay = outputArrival[graph.sinkPosition];
}

void CNetlist::CopyStateToParts() {
  // Every position writes its own record; the vectors keep their sizes, so nothing allocates.
  ParallelFor(0, graph.NodeCount(), [&](int begin, int end) {
    for (int p = begin; p < end; ++p) {
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
  });
}
