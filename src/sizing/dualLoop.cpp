// The outer loop: size for the current multipliers (lower bound), time the circuit (upper
// bound), re-weight the multipliers, until the two bounds meet; "convergence.txt" logs both
// after every pass.
#include <cmath>
#include <iostream>

#include "io/outputFile.h"
#include "model/netlist.h"

namespace {

void LogBounds(OutputFile& log, double lower, double upper) {
  log.Put(lower).Put("\t").Put(upper).EndLine();
}

}  // namespace

void CNetlist::TAMBRIL() { SolveLDP(); }

void CNetlist::SolveLDP() {
  int iteration = 1;
  sweepCount = 0;
  // Only the log is lost when it cannot be written; the run goes on.
  OutputFile log;
  log.Open("convergence.txt");
  log.Put("Lower Bound\tUpper Bound").EndLine();
  log.Put("===========\t===========").EndLine();

  IntializeLM();
  SolveLRSuHelper();
  lowerBound = ComputeLu(current);
  ComputeArrivalTime();
  UpdateLM();
  LogBounds(log, lowerBound, maxDelay);
  std::cout << '.' << std::flush;

  for (int pass = 1;; ++pass) {
    SolveLRSu();
    ComputeArrivalTime();
    UpdateLM();
    std::cout << '.' << std::flush;
    ++iteration;
    LogBounds(log, lowerBound, maxDelay);
    const double total = maxDelay + lowerBound;
    const double gap = std::fabs(maxDelay / total - lowerBound / total);
    // Met, not a number, or out of passes: a threshold of 0 or below could loop forever.
    if (!(gap > outerImprove) || pass == kMaxOuterPasses) break;
  }

  SolveLRSu();
  ComputeArrivalTime();
  UpdateLM();
  std::cout << '.' << std::flush;
  LogBounds(log, lowerBound, maxDelay);

  std::cout << " Done!" << std::endl;
  std::cout << "Total number of iteration: " << iteration << std::endl;
  std::cout << std::endl;
  log.Close();
  iterationCount = iteration;

  CopyStateToParts();
}
