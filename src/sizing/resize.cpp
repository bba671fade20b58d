// The resizing subproblem: for fixed multipliers, every gate takes the size that minimises its
// own weighted delay plus the weighted delay its input capacitance adds to its drivers, in
// sweeps over the circuit until the Lagrangian value settles.
//
// The sweeps are bound by memory traffic on large circuits, so the inner loop fuses what the
// steps allow: the resize sweep also leaves the capacitance of each gate's input pins, and the
// load sweep also works out each node's delay and weighted delay. Every value is computed by
// the same expression, in the same order, as the separate steps would.
#include <cmath>

#include "model/netlist.h"
#include "timing/prefetch.h"

using namespace tambril;

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
  ++stats.resizeSweeps;
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  const NodeKind* kind = graph.kind.data();
  const double* resistance = graph.unitResistance.data();
  const double* inputCap = graph.unitInputCap.data();
  const double* outputCap = graph.unitOutputCap.data();
  const double* weight = lambdaSum.data();
  double* drive = driveWeight.data();
  double* pin = pinLoad.data();
  const int edges = graph.EdgeCount();
  double* size = to.size.data();
  double* upstreamResistance = to.upstreamResistance.data();
  const double* fromSize = from.size.data();
  const double* fromLoad = from.loadCap.data();
  // A gate reads its drivers, which lie in lower levels.
  ForwardByLevel(graph, [&](int first, int last) {
    for (int p = first; p < last; ++p) {
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
      for (int e = start[p]; e < start[p + 1]; ++e) {
        if (e + kPrefetchDistance < edges) PrefetchRead(&drive[driver[e + kPrefetchDistance]]);
        upstream += drive[driver[e]];
      }
      const double old = fromSize[p];
      const double quotient = (weight[p] * resistance[p]) * (fromLoad[p] - old * outputCap[p]) /
                              (inputCap[p] * upstream);
      const double resized =
          AtMost(graph.maxSize[p], AtLeast(graph.minSize[p], std::sqrt(quotient)));
      upstreamResistance[p] = upstream;
      size[p] = resized;
      drive[p] = (resistance[p] / resized) * weight[p];
      pin[p] = inputCap[p] * resized;
    }
  });
}

void CNetlist::UpdatePinLoads(const NodeValues& values) {
  ParallelFor(0, graph.NodeCount(), [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      // "Output" holds the absolute output load; a gate loads each driver with its own size.
      pinLoad[p] = graph.kind[p] == NodeKind::kSink ? graph.unitInputCap[p]
                                                    : graph.unitInputCap[p] * values.size[p];
    }
  });
}

// The load of node p from the pin capacitances of its receivers. Loads depend on sizes only,
// so nodes can be taken in any order.
inline double CNetlist::NodeLoad(int p, double size) const {
  const int* start = graph.fanOutStart.data();
  const int* receiver = graph.fanOutReceiver.data();
  const double* pin = pinLoad.data();
  const int entries = start[graph.NodeCount()];
  const auto gather = [&](double total) {
    for (int k = start[p]; k < start[p + 1]; ++k) {
      if (k + kPrefetchDistance < entries) PrefetchRead(&pin[receiver[k + kPrefetchDistance]]);
      total += pin[receiver[k]];
    }
    return total;
  };
  if (graph.isPrimaryOutput[p]) return gather(0.0) + graph.unitOutputCap[p] * size;
  return gather(graph.kind[p] == NodeKind::kPrimaryInput ? 0.0 : graph.unitOutputCap[p] * size);
}

void CNetlist::LoadSweep(NodeValues& values) {
  UpdatePinLoads(values);
  ParallelFor(0, graph.NodeCount(), [&](int first, int last) {
    for (int p = last - 1; p >= first; --p) {
      const NodeKind kind = graph.kind[p];
      if (kind == NodeKind::kSource || kind == NodeKind::kSink) continue;
      values.loadCap[p] = NodeLoad(p, values.size[p]);
    }
  });
}

// Delays of every node but the pseudo-nodes, weighted by lambdaSum; the sum runs in node id
// order, on one thread. With `withLoads`, each node's load is worked out first (pin loads must
// be current). Nodes depend on nothing but their own values here, so they are split among the
// threads. The weighted delays are stored by position and gathered by id for the sum: written
// by id instead, the stores scatter, which costs more than the gather saves.
double CNetlist::DelaysAndValue(NodeValues& values, bool withLoads) {
  const NodeKind* kind = graph.kind.data();
  const double* resistance = graph.unitResistance.data();
  const double* weight = lambdaSum.data();
  double* weighted = weightedDelay.data();
  const int n = graph.NodeCount();
  ParallelFor(0, n, [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      switch (kind[p]) {
        case NodeKind::kSource:
        case NodeKind::kSink:
          weighted[p] = 0.0;
          continue;
        case NodeKind::kPrimaryInput:
          if (withLoads) values.loadCap[p] = NodeLoad(p, values.size[p]);
          values.delay[p] = resistance[p] * values.loadCap[p];
          break;
        case NodeKind::kGate:
          if (withLoads) values.loadCap[p] = NodeLoad(p, values.size[p]);
          values.delay[p] = (resistance[p] / values.size[p]) * values.loadCap[p];
          break;
      }
      weighted[p] = weight[p] * values.delay[p];
    }
  });
  // The pseudo-nodes, which add nothing, are the last two ids.
  double sum = 0.0;
  const int* position = graph.positionOfId.data();
  for (int k = 0; k < n - 2; ++k) {
    if (k + kPrefetchDistance < n - 2) PrefetchRead(&weighted[position[k + kPrefetchDistance]]);
    sum += weighted[position[k]];
  }
  return sum;
}

double CNetlist::ComputeLu(NodeValues& values) { return DelaysAndValue(values, false); }

void CNetlist::SolveLRSuHelper() {
  ParallelFor(0, graph.NodeCount(), [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      if (graph.kind[p] == NodeKind::kGate) current.size[p] = graph.minSize[p];
    }
  });
  LoadSweep(current);
}

void CNetlist::SolveLRSu() { SolveInner(innerImprove); }

void CNetlist::SolveInner(double threshold) {
  // Each sweep: resize, then loads, delays and the value in one pass.
  ResizeSweep(current, current);
  double previous = DelaysAndValue(current, true);
  lowerBound = previous;
  for (int sweep = 1; sweep <= kMaxTrialSweeps; ++sweep) {
    ResizeSweep(current, trial);
    const double value = DelaysAndValue(trial, true);
    if (!(RelativeGap(value, previous) > threshold))
      return;  // settled, or not a number: keep `current`
    current.Swap(trial);
    previous = value;
    lowerBound = value;
  }
}
