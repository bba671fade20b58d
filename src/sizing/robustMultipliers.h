#ifndef TAMBRIL_SIZING_ROBUSTMULTIPLIERS_H
#define TAMBRIL_SIZING_ROBUSTMULTIPLIERS_H

#include <cstdint>
#include <vector>

#include "timing/timingGraph.h"

namespace tambril {

// The constants of the robust method. They are the same for every circuit; the step adapts
// node by node.
struct RobustParameters {
  // The largest step: a pin whose slack is one delay of its driver loses this much of its
  // logarithm. The step of a node is damped when its critical pin changes and grows back.
  double step = 0.25;
  double damping = 0.7;
  double recovery = 1.25;
  // No pin loses more than this much of its logarithm in one pass.
  double stepLimit = 1.0;
  // Each node gives this share of its flow, divided by the depth of the circuit, to an even
  // split over its pins, so that a path that falls idle can come back within a few passes.
  double evenShare = 0.005;
  // The share of the covering flow (every live connection positive) mixed into every update.
  double coverShare = 1e-9;
  // The certificate's inner threshold, as a share of the outer threshold.
  double certifyShare = 1e-4;
};

// RobustMultipliers re-weights the multipliers of the robust method. At each node the pins
// share the node's flow; a pin's share shrinks by about exp(-step * slack / driver delay) (a
// rational form of it, from the basic operations only, for the same bits everywhere), where the
// slack is how much earlier the pin's arrival is than the node's latest, so the step is
// measured in stage delays and does not vanish on deep circuits. The shares are then mixed
// with a small even split, and the new flow with the covering flow, which keeps every live
// multiplier above coverShare / (live connections): none reaches 0 or a subnormal value.
// Flow is conserved: the flow into "Output" is 1 and each node passes on what its receivers
// take. Connections with no path to "Output" carry no flow and stay at 0.
//
// Each node's step depends only on its drivers' arrivals (a forward walk) and each node's flow
// only on its receivers (a backward walk); every sum runs in a fixed order.
class RobustMultipliers {
 public:
  // Prepares for `graph` and mixes the covering flow into the starting multipliers (a flow of
  // 1 into "Output", by edge; `lambdaSum` their sums by position).
  void Start(const TimingGraph& graph, std::vector<double>& lambdas,
             std::vector<double>& lambdaSum);

  // One update from the delays (by position) and pin arrivals (by edge) of a timing analysis.
  void Update(const TimingGraph& graph, const std::vector<double>& delay,
              const std::vector<double>& pinArrival, std::vector<double>& lambdas,
              std::vector<double>& lambdaSum);

  int Depth() const { return depth_; }

  RobustParameters parameters;

 private:
  int depth_ = 1;                       // gates on the longest path
  std::vector<double> cover_;           // by edge: the covering flow
  std::vector<double> coverSum_;        // by position
  std::vector<double> weight_;          // by edge: a pin's new share, not yet normalised
  std::vector<double> total_;           // by position: the sum of its pins' weights
  std::vector<double> nodeStep_;        // by position
  std::vector<std::int32_t> critical_;  // by position: the critical pin of the last update
};

}  // namespace tambril

#endif
