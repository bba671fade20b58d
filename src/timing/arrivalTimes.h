#ifndef TAMBRIL_TIMING_ARRIVALTIMES_H
#define TAMBRIL_TIMING_ARRIVALTIMES_H

#include "timing/timingGraph.h"

namespace tambril {

// What a timing analysis finds at one node, by position: its delay and the arrival time at its
// output, in seconds. The arrival at an input pin is the output arrival of the pin's driver.
struct NodeTiming {
  double arrival;
  double delay;
};

// The Elmore delay of a node of `kind` with `constants` at `size` (m^2) driving `load` (F): a
// gate's (R / size) * load, a primary input's driver R * load; the pseudo-nodes have none.
inline double NodeDelay(NodeKind kind, const NodeConstants& constants, double size, double load) {
  switch (kind) {
    case NodeKind::kGate:
      return (constants.unitResistance / size) * load;
    case NodeKind::kPrimaryInput:
      return constants.unitResistance * load;
    case NodeKind::kSource:
    case NodeKind::kSink:
      break;
  }
  return 0.0;
}

// Times the circuit for the sizes and loads given by position: every node's delay, and its
// output arrival, the latest output arrival of its drivers (0 for none) plus its delay. The
// arrival of "Output" is the circuit delay. Level by level on the run's threads.
void ComputeArrivalTimes(const TimingGraph& graph, const double* size, const double* load,
                         NodeTiming* timing);

}  // namespace tambril

#endif
