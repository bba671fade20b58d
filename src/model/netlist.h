#ifndef TAMBRIL_MODEL_NETLIST_H
#define TAMBRIL_MODEL_NETLIST_H

#include <ctime>
#include <string>
#include <vector>

#include "io/outputFile.h"
#include "model/gateType.h"
#include "model/part.h"
#include "sizing/dualLoop.h"
#include "sizing/nodeValues.h"
#include "sizing/robustMultipliers.h"
#include "timing/timingGraph.h"

// CNetlist is the one object of a run: the tuning constants, the gate library, the circuit
// graph with its two walk orders, the optimiser's bounds and the run's timing. Every stage is a
// member function; a stage either completes or ends the program with one line on standard
// error and exit status 1.
//
// The circuit is held twice. `parts` is the record form that the reader builds (node id k is
// parts[k - 1]) and the report reads. The optimiser works on a flat copy, `graph` plus the
// per-position state below, built at the end of InputNetlist; CopyStateToParts writes that
// state back into the records, which SolveLDP does when it finishes.
class CNetlist {
 public:
  CNetlist();
  virtual ~CNetlist();

  // Stages of a run, in this order.
  void BuildDB(const char* libraryFileName);
  void InputNetlist(const char* netlistFileName);
  void OutputResult(const char* resultFileName);

  // Sink-removal ordering of `nodes` (ids 1..n, nodes[k - 1] has id k): receivers before
  // drivers, or the reverse when `forward`. Returns false, with `order` holding the nodes that
  // could be ordered, when some node cannot be removed (a cycle, or fan-out counts that
  // disagree with the connections). Cost O(V + E).
  bool TopologicalSort(const std::vector<PartType>& nodes, std::vector<int>& order,
                       bool forward) const;

  // Timing analysis: rewrites every pin arrival from the current delays.
  void ComputeArrivalTime();
  // Largest element, 0.0 for an empty vector.
  double maximum(std::vector<double> values) const;

  // Lagrange multipliers.
  void IntializeLM();
  void UpdateLM();

  // Resizing subproblem. ComputeLu writes the delays of `values` and returns the Lagrangian
  // value of that state.
  double ComputeLu(tambril::NodeValues& values);
  void SolveLRSuHelper();
  void SolveLRSu();

  // The outer loop, with "convergence.txt".
  void SolveLDP();
  void TAMBRIL();

  int length() const { return partCount; }
  bool is_empty() const { return partCount == 0; }

  // Writes the optimiser's state back into the records: sizes, loads, upstream resistances,
  // delays, multipliers, their sums and pin arrivals.
  void CopyStateToParts();

  const tambril::TimingGraph& Graph() const { return graph; }

  // The inner loop makes at most kMaxTrialSweeps trial sweeps per call, so that a threshold of
  // 0 or below cannot run forever; the outer loop at most maxOuterPasses passes.
  static constexpr int kMaxTrialSweeps = 1000;
  int maxOuterPasses = 1000;
  tambril::Method method = tambril::Method::kClassic;
  // The robust method's multiplier update, with its constants.
  tambril::RobustMultipliers robust;
  // What the last SolveLDP did.
  tambril::SolveStats stats;

  double innerImprove;
  double outerImprove;
  double driverResistance;
  double outputLoad;
  double lowerBound;
  double maxDelay;
  int partCount;
  int circuitSize;
  int headerValue2;
  int headerValue3;
  int outputCount;
  int nodeLineCount;
  std::time_t startTime;
  std::clock_t startClock;
  std::clock_t endClock;
  double runtime;
  std::vector<int> forwardOrder;
  std::vector<int> reverseOrder;
  std::vector<PartType> parts;
  std::vector<CGateType> gateTypes;

 private:
  void BuildGraph(const std::string& fileName);
  void ValidateConnections(const std::string& fileName) const;
  void BindLibraryRow(CGate& gate) const;

  // The outer loops (dualLoop.cpp, robustLoop.cpp); each sets stats.passes.
  void ClassicLoop();
  void RobustLoop();
  // One outer pass of the classic loop: size (the first pass: starting multipliers and
  // sizes), time, re-weight.
  void DualPass(bool first);
  // Writes lowerBound and maxDelay as one line of the log and one dot, and keeps the current
  // sizes when maxDelay is the smallest so far.
  void LogPass();
  // The inner loop with its own threshold.
  void SolveInner(double threshold);
  // The Lagrangian value of the current multipliers, the inner loop run to `threshold` from
  // the current sizes; the current state is left as it was.
  double CertifiedLowerBound(double threshold);
  // Makes `sizes` the current state, with loads, delays and arrival times worked out again,
  // and maxDelay the delay of that state.
  void RestoreSizes(const std::vector<double>& sizes);

  void ResizeSweep(const tambril::NodeValues& from, tambril::NodeValues& to);
  void UpdatePinLoads(const tambril::NodeValues& values);
  double NodeLoad(int position, double size) const;
  void LoadSweep(tambril::NodeValues& values);
  double DelaysAndValue(tambril::NodeValues& values, bool withLoads);

  tambril::TimingGraph graph;
  tambril::NodeValues current;
  tambril::NodeValues trial;
  std::vector<double> lambdas;    // by edge
  std::vector<double> arrivals;   // by edge
  std::vector<double> lambdaSum;  // by position
  std::vector<double> bestSize;   // by position: the sizes of the best pass so far
  double bestDelay_ = 0.0;        // the delay of bestSize
  tambril::OutputFile passLog_;   // convergence.txt
  tambril::NodeValues certifying_;
  // Scratch, by position: output arrival, a driver's weighted resistance as its receivers see
  // it, the capacitance of one input pin, the weighted delay.
  std::vector<double> outputArrival;
  std::vector<double> driveWeight;
  std::vector<double> pinLoad;
  std::vector<double> weightedDelay;
};

#endif
