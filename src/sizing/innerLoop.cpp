// The resizing subproblem: for fixed multipliers, every gate takes the size that minimises its
// own weighted delay plus the weighted delay its input capacitance adds to its drivers, in
// sweeps over the circuit until the Lagrangian value settles.
//
// The sweeps are bound by memory traffic on large circuits, so the inner loop fuses what the
// steps allow: the resize sweep also leaves the capacitance of each gate's input pins, and the
// load sweep also works out each node's weighted delay. Every value is computed by the same
// expression, in the same order, as the separate steps would. The multipliers are fixed while
// it runs, so each node's weight (the sum of its pins' multipliers) is summed once per inner
// loop rather than twice per sweep; and the values that one sweep hands to the next sit in a
// dense array of their own, so that the gathers over drivers read 8 bytes per node, not 16.
// When sweeps alternate, a forward sweep needs no loads at all: the backward sweep after it
// works them out anyway. Its value is then summed from what each gate's input pins add to its
// drivers' weighted delays (its pin capacitance times its upstream resistance, which the
// sweep has at hand), the same sum grouped by receiver instead of by driver.
#include <algorithm>
#include <cmath>

#include "sizing/optimizer.h"
#include "util/prefetch.h"

namespace tambril::sizing {

namespace {

// max and min as the clamp defines them: a not-a-number root becomes the lower bound, an
// infinite one the upper bound.
double AtLeast(double bound, double x) { return bound < x ? x : bound; }
double AtMost(double bound, double x) { return x < bound ? x : bound; }

// The square of the size that minimises a gate's weighted delay plus what its input
// capacitance adds upstream, given the load it drives besides its own output capacitance.
double Quotient(double weight, const NodeConstants& c, double external, double upstream,
                double areaWeight) {
  return (weight * c.unitResistance) * external / (c.unitInputCap * upstream + areaWeight);
}

// A gate's or primary input's delay weighted by `weight`, plus, for a gate, its size weighted
// by the area weight (adding 0 when there is none leaves every bit as it was).
double WeightedDelay(NodeKind kind, const NodeConstants& c, double weight, double size, double load,
                     double areaWeight) {
  const double delay =
      kind == NodeKind::kGate ? (c.unitResistance / size) * load : c.unitResistance * load;
  return weight * delay + (kind == NodeKind::kGate ? areaWeight * size : 0.0);
}

}  // namespace

// One resize sweep in forward order, from the state `from` into `to` (which may be the same
// object). A gate's upstream resistance uses the sizes its drivers received earlier in this
// sweep; its own load and size are those of `from`.
//
// A driver's weighted resistance as its receivers see it goes to the scratch array `relay_`;
// with kKeepUpstream, each gate's upstream resistance to `upstream_`.
template <bool kOverRelaxed, bool kKeepUpstream>
void Optimizer::ResizeSweep(const Sizing& from, Sizing& to) {
  ++stats_.resizeSweeps;
  double* upstreamOut = upstream_.data();
  const int* start = graph_.fanInStart.data();
  const int* driver = graph_.fanInDriver.data();
  const NodeKind* kind = graph_.kind.data();
  const double* nodeWeight = nodeWeight_.data();
  double* drive = relay_.data();
  double* pin = pinLoad_.data();
  const int edges = graph_.EdgeCount();
  double* size = to.size.data();
  const double areaWeight = areaWeight_;
  const double* fromSize = from.size.data();
  const double* fromLoad = from.loadCap.data();
  double* term = terms_.data();
  const auto upstreamOf = [&](int p) {
    double upstream = 0.0;
    for (int e = start[p]; e < start[p + 1]; ++e) {
      if (e + kPrefetchDistance < edges) PrefetchRead(&drive[driver[e + kPrefetchDistance]]);
      upstream += drive[driver[e]];
    }
    return upstream;
  };
  // A gate reads its drivers, which lie in lower levels.
  ForwardByLevel(graph_, [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      const NodeConstants& c = graph_.Constants(p);
      switch (kind[p]) {
        case NodeKind::kPrimaryInput:
          drive[p] = nodeWeight[p] * c.unitResistance;
          if (kKeepUpstream) term[p] = 0.0;  // its pins' parts are its receivers'
          continue;
        case NodeKind::kSource:
          drive[p] = 0.0;  // "Input" adds nothing upstream
          if (kKeepUpstream) term[p] = 0.0;
          continue;
        case NodeKind::kSink:
          if (kKeepUpstream) term[p] = c.unitInputCap * upstreamOf(p);  // the outputs' loads
          continue;
        case NodeKind::kGate:
          break;
      }
      const double upstream = upstreamOf(p);
      if (kKeepUpstream) upstreamOut[p] = upstream;  // for a backward sweep next
      const double weight = nodeWeight[p];
      const double old = fromSize[p];
      // With an area weight w, the size also pays w per unit: it joins the denominator (0
      // otherwise, which leaves every bit as it was).
      const double quotient =
          Quotient(weight, c, fromLoad[p] - old * c.unitOutputCap, upstream, areaWeight);
      double target = std::sqrt(quotient);
      if (kOverRelaxed) {
        // old * (target / old)^(15/8), from square roots alone; a not-a-number ratio stays so.
        // (7/4 took up to 1.7 times the sweeps on deep circuits; 2, a reflection, leaves the
        // value of a gate that is near its best as it was, and the solve stops far above it.)
        const double ratio = target / old;
        const double root = std::sqrt(ratio);
        const double fourth = std::sqrt(root);
        target = old * (ratio * (root * (fourth * std::sqrt(fourth))));
      }
      const double resized = AtMost(c.maxSize, AtLeast(c.minSize, target));
      size[p] = resized;
      drive[p] = (c.unitResistance / resized) * weight;
      pin[p] = c.unitInputCap * resized;
      // The gate's part of the value: what its input pins add to its drivers' weighted delays,
      // its own output capacitance's, and its size's area weight.
      if (kKeepUpstream) {
        term[p] = (pin[p] * upstream + weight * (c.unitResistance * c.unitOutputCap)) +
                  areaWeight * resized;
      }
    }
  });
}

// One resize sweep in backward order, from `from` into `to` (which may be the same object),
// right after a forward sweep into `from` for the same weights: a gate's upstream resistance is
// the one that sweep found (its drivers' sizes of `from`); its load comes from the sizes its
// receivers received earlier in this sweep. So news travels backwards the whole way, where the
// forward sweep takes it one level per sweep. Every load is left as NodeLoad adds it up, and
// every node's weighted delay in `relay_`, as WeighDelays works it out (a node's size and load
// are final once it is done).
void Optimizer::ResizeSweepBackward(const Sizing& from, Sizing& to) {
  ++stats_.resizeSweeps;
  const int* outStart = graph_.fanOutStart.data();
  const int* receiver = graph_.fanOutReceiver.data();
  const NodeKind* kind = graph_.kind.data();
  const double* nodeWeight = nodeWeight_.data();
  const double* upstream = upstream_.data();
  double* pin = pinLoad_.data();
  double* size = to.size.data();
  double* load = to.loadCap.data();
  double* weighted = relay_.data();
  const double areaWeight = areaWeight_;
  const double* fromSize = from.size.data();
  // A node reads its receivers, which lie in higher levels.
  BackwardByLevel(graph_, [&](int first, int last) {
    for (int p = last - 1; p >= first; --p) {
      const NodeKind k = kind[p];
      if (k == NodeKind::kSource || k == NodeKind::kSink) {
        weighted[p] = 0.0;
        continue;
      }
      const NodeConstants& c = graph_.Constants(p);
      double resized = fromSize[p];
      if (k == NodeKind::kGate) {
        double external = 0.0;
        for (int r = outStart[p]; r < outStart[p + 1]; ++r) {
          // The walk runs backwards, so the entries ahead are the ones below.
          if (r >= kPrefetchDistance) PrefetchRead(&pin[receiver[r - kPrefetchDistance]]);
          external += pin[receiver[r]];
        }
        const double quotient = Quotient(nodeWeight[p], c, external, upstream[p], areaWeight);
        resized = AtMost(c.maxSize, AtLeast(c.minSize, std::sqrt(quotient)));
        size[p] = resized;
        pin[p] = c.unitInputCap * resized;
      }
      // The receivers' pins were just read: adding them again in NodeLoad's order costs little.
      load[p] = NodeLoad(p, resized, c.unitOutputCap);
      weighted[p] = WeightedDelay(k, c, nodeWeight[p], resized, load[p], areaWeight);
    }
  });
}

void Optimizer::UpdatePinLoads(const Sizing& values) {
  ParallelFor(0, graph_.NodeCount(), [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      // "Output" holds the absolute output load; a gate loads each driver with its own size.
      const double inputCap = graph_.Constants(p).unitInputCap;
      pinLoad_[p] = graph_.kind[p] == NodeKind::kSink ? inputCap : inputCap * values.size[p];
    }
  });
}

// The load of node p from the pin capacitances of its receivers. Loads depend on sizes only,
// so nodes can be taken in any order.
inline double Optimizer::NodeLoad(int p, double size, double outputCap) const {
  const int* start = graph_.fanOutStart.data();
  const int* receiver = graph_.fanOutReceiver.data();
  const double* pin = pinLoad_.data();
  const int entries = start[graph_.NodeCount()];
  const auto gather = [&](double total) {
    for (int k = start[p]; k < start[p + 1]; ++k) {
      if (k + kPrefetchDistance < entries) PrefetchRead(&pin[receiver[k + kPrefetchDistance]]);
      total += pin[receiver[k]];
    }
    return total;
  };
  if (graph_.isPrimaryOutput[p]) return gather(0.0) + outputCap * size;
  return gather(graph_.kind[p] == NodeKind::kPrimaryInput ? 0.0 : outputCap * size);
}

void Optimizer::LoadSweep(Sizing& values) {
  UpdatePinLoads(values);
  ParallelFor(0, graph_.NodeCount(), graph_.fanOutStart.data(), [&](int first, int last) {
    for (int p = last - 1; p >= first; --p) {
      const NodeKind kind = graph_.kind[p];
      if (kind == NodeKind::kSource || kind == NodeKind::kSink) continue;
      values.loadCap[p] = NodeLoad(p, values.size[p], graph_.Constants(p).unitOutputCap);
    }
  });
}

// Every node's weighted delay, into `relay_` (0 for the pseudo-nodes), with its load worked out
// first when `kWithLoads`.
template <bool kWithLoads>
void Optimizer::WeighDelays(Sizing& values) {
  const NodeKind* kind = graph_.kind.data();
  const double* nodeWeight = nodeWeight_.data();
  double* size = values.size.data();
  double* load = values.loadCap.data();
  double* weighted = relay_.data();
  const double areaWeight = areaWeight_;
  // The loads gather over receivers, which the low levels have most of.
  const int* work = kWithLoads ? graph_.fanOutStart.data() : nullptr;
  ParallelFor(0, graph_.NodeCount(), work, [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      const NodeKind k = kind[p];
      if (k == NodeKind::kSource || k == NodeKind::kSink) {
        weighted[p] = 0.0;
        continue;
      }
      const NodeConstants& c = graph_.Constants(p);
      if (kWithLoads) load[p] = NodeLoad(p, size[p], c.unitOutputCap);
      weighted[p] = WeightedDelay(k, c, nodeWeight[p], size[p], load[p], areaWeight);
    }
  });
}

// The weighted delays of every node but the pseudo-nodes, summed in node id order on one
// thread. With `withLoads`, each node's load is worked out first (pin loads must be current).
// Nodes depend on nothing but their own values here, so they are split among the threads. The
// weighted delays are stored by position and gathered by id for the sum: written by id
// instead, the stores scatter, which costs more than the gather saves.
double Optimizer::DelaysAndValue(Sizing& values, bool withLoads) {
  if (withLoads) {
    WeighDelays<true>(values);
  } else {
    WeighDelays<false>(values);
  }
  return SumOfWeightedDelays();
}

double Optimizer::SumOfWeightedDelays() const {
  const int n = graph_.NodeCount();
  const double* weighted = relay_.data();
  // The pseudo-nodes, which add nothing, are the last two ids.
  double sum = 0.0;
  const int* position = graph_.positionOfId.data();
  for (int k = 0; k < n - 2; ++k) {
    if (k + kPrefetchDistance < n - 2) PrefetchRead(&weighted[position[k + kPrefetchDistance]]);
    sum += weighted[position[k]];
  }
  return sum;
}

// Blocks of kSumBlock positions, each summed in position order by whichever thread holds the
// block's first position, then the blocks' sums in order: the same bits for any thread count,
// and a stream through memory where the sum in id order gathers, on one thread.
double Optimizer::SumInBlocks(const double* parts) {
  const int n = graph_.NodeCount();
  double* blockSum = blockSums_.data();
  ParallelFor(0, n, [&](int first, int last) {
    for (int b = (first + kSumBlock - 1) / kSumBlock; b * kSumBlock < last; ++b) {
      const int end = std::min(n, (b + 1) * kSumBlock);
      double sum = 0.0;
      for (int p = b * kSumBlock; p < end; ++p) sum += parts[p];
      blockSum[b] = sum;
    }
  });
  double sum = 0.0;
  for (int b = 0; b * kSumBlock < n; ++b) sum += blockSum[b];
  return sum;
}

double Optimizer::LagrangianValue(Sizing& values) {
  WeighNodes();
  return DelaysAndValue(values, false);
}

void Optimizer::WeighNodes() {
  const int* start = graph_.fanInStart.data();
  const double* lambda = multipliers_.lambda.data();
  double* weight = nodeWeight_.data();
  ParallelFor(0, graph_.NodeCount(), start, [&](int first, int last) {
    for (int p = first; p < last; ++p) weight[p] = NodeWeight(lambda, start[p], start[p + 1]);
  });
}

void Optimizer::StartingSizes() {
  ParallelFor(0, graph_.NodeCount(), [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      if (graph_.kind[p] == NodeKind::kGate) current_.size[p] = graph_.Constants(p).minSize;
    }
  });
  LoadSweep(current_);
}

void Optimizer::Resize() {
  Resize(std::max(parameters.innerThreshold, passThreshold_), passSweeps_);
}

// Each sweep: resize, then loads (unless the sweep left them), delays and the value in one
// pass. When sweeps alternate, the odd sweeps of an inner loop run backwards.
double Optimizer::Sweep(const Sizing& from, Sizing& to, bool overRelaxed) {
  if (threads_ != nullptr) threads_->Begin();
  double value;
  sweptLoads_ = true;
  if (alternateSweeps_ && sweepsInLoop_++ % 2 == 1) {
    ResizeSweepBackward(from, to);  // leaves the weighted delays
    value = SumInBlocks(relay_.data());
  } else if (alternateSweeps_) {
    // The value from the parts the sweep left; the loads wait for the backward sweep.
    overRelaxed ? ResizeSweep<true, true>(from, to) : ResizeSweep<false, true>(from, to);
    value = SumInBlocks(terms_.data());
    sweptLoads_ = false;
  } else {
    overRelaxed ? ResizeSweep<true, false>(from, to) : ResizeSweep<false, false>(from, to);
    value = DelaysAndValue(to, true);
  }
  if (threads_ != nullptr) threads_->End();
  return value;
}

void Optimizer::Resize(double threshold, int sweeps) {
  WeighNodes();
  sweepsInLoop_ = 0;
  double previous = Sweep(current_, current_);
  bool loads = sweptLoads_;
  lowerBound_ = previous;
  for (int sweep = 1; sweep <= std::min(parameters.maxTrialSweeps, sweeps - 1); ++sweep) {
    const double value = Sweep(current_, trial_);
    if (!(RelativeGap(value, previous) > threshold)) break;  // settled, or not a number
    current_.Swap(trial_);
    loads = sweptLoads_;
    previous = value;
    lowerBound_ = value;
  }
  if (!loads) LoadSweep(current_);
}

}  // namespace tambril::sizing
