// The resizing subproblem: for fixed multipliers, every gate takes the size that minimises its
// own weighted delay plus the weighted delay its input capacitance adds to its drivers, in
// sweeps over the circuit until the Lagrangian value settles.
#include <cmath>

#include "model/netlist.h"

namespace {

// max and min as the clamp defines them: a not-a-number root becomes the lower bound, an
// infinite one the upper bound.
double AtLeast(double bound, double x) { return bound < x ? x : bound; }
double AtMost(double bound, double x) { return x < bound ? x : bound; }

}  // namespace

// One resize sweep in forward order, from the state `from` into `to` (which may be the same
// object). A gate's upstream resistance uses the sizes its drivers received earlier in this
// sweep; its own load and size are those of `from`.
void CNetlist::ResizeSweep(const NodeValues& from, NodeValues& to) {
  ++sweepCount;
  const int n = graph.NodeCount();
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  const NodeKind* kind = graph.kind.data();
  const double* resistance = graph.unitResistance.data();
  const double* inputCap = graph.unitInputCap.data();
  const double* outputCap = graph.unitOutputCap.data();
  const double* weight = lambdaSum.data();
  double* drive = driveWeight.data();
  for (int p = 0; p < n; ++p) {
    switch (kind[p]) {
      case NodeKind::kPrimaryInput:
        drive[p] = weight[p] * resistance[p];
        continue;
      case NodeKind::kSource:
        drive[p] = 0.0;  // "Input" adds nothing upstream
        continue;
      case NodeKind::kSink:
        continue;
      case NodeKind::kGate:
        break;
    }
    double upstream = 0.0;
    for (int e = start[p]; e < start[p + 1]; ++e) upstream += drive[driver[e]];
    const double size = from.size[p];
    const double quotient = (weight[p] * resistance[p]) * (from.loadCap[p] - size * outputCap[p]) /
                            (inputCap[p] * upstream);
    const double resized = AtMost(graph.maxSize[p], AtLeast(graph.minSize[p], std::sqrt(quotient)));
    to.upstreamResistance[p] = upstream;
    to.size[p] = resized;
    drive[p] = (resistance[p] / resized) * weight[p];
  }
}

// Loads depend on sizes only, so one pass for the capacitance of each input pin and one for
// the loads do in any order.
void CNetlist::LoadSweep(NodeValues& values) {
  const int n = graph.NodeCount();
  const NodeKind* kind = graph.kind.data();
  const double* inputCap = graph.unitInputCap.data();
  const double* outputCap = graph.unitOutputCap.data();
  const double* size = values.size.data();
  double* pin = pinLoad.data();
  for (int p = 0; p < n; ++p) {
    // "Output" holds the absolute output load; a gate loads each driver with its own size.
    pin[p] = kind[p] == NodeKind::kSink ? inputCap[p] : inputCap[p] * size[p];
  }
  const int* start = graph.fanOutStart.data();
  const int* receiver = graph.fanOutReceiver.data();
  double* load = values.loadCap.data();
  for (int p = n - 1; p >= 0; --p) {
    if (graph.isPrimaryOutput[p]) {
      double total = 0.0;
      for (int k = start[p]; k < start[p + 1]; ++k) total += pin[receiver[k]];
      load[p] = total + outputCap[p] * size[p];
      continue;
    }
    double total;
    switch (kind[p]) {
      case NodeKind::kSource:
      case NodeKind::kSink:
        continue;
      case NodeKind::kPrimaryInput:
        total = 0.0;
        break;
      case NodeKind::kGate:
      default:
        total = outputCap[p] * size[p];
        break;
    }
    for (int k = start[p]; k < start[p + 1]; ++k) total += pin[receiver[k]];
    load[p] = total;
  }
}

double CNetlist::ComputeLu(NodeValues& values) {
  const int n = graph.NodeCount();
  const NodeKind* kind = graph.kind.data();
  const double* resistance = graph.unitResistance.data();
  const double* weight = lambdaSum.data();
  double* weighted = weightedDelay.data();
  for (int p = 0; p < n; ++p) {
    switch (kind[p]) {
      case NodeKind::kSource:
      case NodeKind::kSink:
        weighted[p] = 0.0;
        continue;
      case NodeKind::kPrimaryInput:
        values.delay[p] = resistance[p] * values.loadCap[p];
        break;
      case NodeKind::kGate:
        values.delay[p] = (resistance[p] / values.size[p]) * values.loadCap[p];
        break;
    }
    weighted[p] = weight[p] * values.delay[p];
  }
  // The sum runs in node id order; the pseudo-nodes, which add nothing, are the last two ids.
  double sum = 0.0;
  const int* position = graph.positionOfId.data();
  for (int k = 0; k < n - 2; ++k) sum += weighted[position[k]];
  return sum;
}

void CNetlist::SolveLRSuHelper() {
  const int n = graph.NodeCount();
  for (int p = 0; p < n; ++p) {
    if (graph.kind[p] == NodeKind::kGate) current.size[p] = graph.minSize[p];
  }
  LoadSweep(current);
}

void CNetlist::SolveLRSu() {
  ResizeSweep(current, current);
  LoadSweep(current);
  double previous = ComputeLu(current);
  lowerBound = previous;
  for (int sweep = 1; sweep <= kMaxTrialSweeps; ++sweep) {
    ResizeSweep(current, trial);
    LoadSweep(trial);
    const double value = ComputeLu(trial);
    const double total = value + previous;
    const double change = std::fabs(value / total - previous / total);
    if (!(change > innerImprove)) return;  // settled, or not a number: keep `current`
    current.Swap(trial);
    previous = value;
    lowerBound = value;
  }
}
