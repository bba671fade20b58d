#ifndef TAMBRIL_RUN_NETLIST_H
#define TAMBRIL_RUN_NETLIST_H

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "io/reporter.h"
#include "model/gateType.h"
#include "model/part.h"
#include "sizing/optimizer.h"
#include "sizing/parameters.h"
#include "timing/timingGraph.h"

// CNetlist is the one object of a run: it holds the run's tuning constants, the gate library,
// the circuit's records with their two walk orders, the bounds of the optimiser and the run's
// timing, and conducts the stages in their fixed order (BuildDB, InputNetlist, OutputResult,
// which runs TAMBRIL and with it SolveLDP). Each stage forwards to the object whose one job it
// is: the readers (src/input), the ordering and the flat timing graph (src/timing), the
// optimiser (src/sizing) and the result report (src/report). A stage either completes or throws
// a tambril::Error, which `main` turns into one line on standard error and exit status 1.
//
// The records hold what the readers give them (types, constants, connections); the optimiser's
// own state (sizes, loads, multipliers, arrival times) lives in the optimiser alone, laid out
// by position of the timing graph, and is read from there (SizeOf, Optimizer()).
class CNetlist {
 public:
  CNetlist();
  virtual ~CNetlist();

  // Stages of a run, in this order.
  void BuildDB(const char* libraryFileName);
  void InputNetlist(const char* netlistFileName);
  void OutputResult(const char* resultFileName);

  // Sink-removal ordering (TopologicalOrder); false when no complete order exists.
  bool TopologicalSort(const std::vector<PartType>& nodes, std::vector<int>& order,
                       bool forward) const;
  // The steps of the optimisation, one at a time, after InputNetlist; each updates lowerBound
  // and maxDelay from the optimiser.
  void ComputeArrivalTime();
  double maximum(std::vector<double> values) const;
  void IntializeLM();
  void UpdateLM();
  double ComputeLu(tambril::sizing::Sizing& values);
  void SolveLRSuHelper();
  void SolveLRSu();
  // The outer loop, with "convergence.txt"; TAMBRIL runs it and nothing else.
  void SolveLDP();
  void TAMBRIL();

  int length() const { return partCount; }
  bool is_empty() const { return partCount == 0; }

  // The optimiser's parameters but for the thresholds, which are innerImprove and
  // outerImprove: the method, the caps, the log's name.
  tambril::sizing::Parameters sizing;
  // Where progress and warnings go; the console unless replaced.
  tambril::Reporter* reporter;

  // After InputNetlist: the flat timing graph and the optimiser.
  const tambril::TimingGraph& Graph() const { return *graph_; }
  tambril::sizing::Optimizer& Optimizer() { return *optimizer_; }
  const tambril::sizing::Optimizer& Optimizer() const { return *optimizer_; }
  // The size of node `id` in the optimiser's current state (0 for nodes that are not gates).
  double SizeOf(int id) const;

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
  // The optimiser's parameters as this run sets them.
  tambril::sizing::Parameters Parameters() const;
  void SyncBounds();

  std::unique_ptr<tambril::TimingGraph> graph_;
  std::unique_ptr<tambril::sizing::Optimizer> optimizer_;
};

#endif
