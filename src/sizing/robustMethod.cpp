#include "sizing/robustMethod.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sizing/optimizer.h"
#include "util/basicMath.h"
#include "util/hugePages.h"
#include "util/prefetch.h"

namespace tambril::sizing {

namespace {

// a / b, held within [1 / limit, limit]: a multiplier's last change. The bounds are worked out
// once, outside the walks over the pins, whose divisions are what an update spends its time on.
class HeldRatio {
 public:
  explicit HeldRatio(double limit) : highest_(limit), lowest_(1.0 / limit) {}
  double operator()(double a, double b) const {
    return std::min(highest_, std::max(lowest_, a / b));
  }

 private:
  double highest_;
  double lowest_;
};

}  // namespace

// The covering flow routes one unit for every live connection: from "Input" to the
// connection's driver along first pins, through the connection, and on to "Output" along first
// live receivers. Every live connection then carries at least one unit; divided by the number
// of units, it is a flow of 1. Counts are whole numbers well below 2^53, so exact.
void RobustMethod::Start(const TimingGraph& graph, Multipliers& multipliers,
                         std::vector<double>& scratch, std::vector<double>& moreScratch) {
  std::vector<double>& lambdas = multipliers.lambda;
  const int n = graph.NodeCount();
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  std::vector<std::uint8_t> live(n, 0);        // a path to "Output"
  std::vector<double>& liveOut = moreScratch;  // live connections driven
  std::fill(liveOut.begin(), liveOut.end(), 0.0);
  for (int p = n - 1; p >= 0; --p) {
    live[p] = graph.kind[p] == NodeKind::kSink;
    for (int k = graph.fanOutStart[p]; k < graph.fanOutStart[p + 1]; ++k) {
      if (!live[graph.fanOutReceiver[k]]) continue;
      live[p] = 1;
      liveOut[p] += 1.0;
    }
  }

  AssignLarge(cover_, graph.EdgeCount(), 0.0);
  std::vector<double>& through = scratch;
  std::fill(through.begin(), through.end(), 0.0);
  // Units on their way to "Input" leave each node through its first pin.
  for (int p = n - 1; p >= 0; --p) {
    through[p] += liveOut[p];
    if (!live[p] || start[p] == start[p + 1]) continue;
    cover_[start[p]] += through[p];
    through[driver[start[p]]] += through[p];
  }
  // Units on their way to "Output" leave each node through its first live receiver.
  std::fill(through.begin(), through.end(), 0.0);
  std::vector<double>& level = liveOut;  // gates on the longest path to the node
  depth_ = 1;
  for (int p = 0; p < n; ++p) {
    double deepest = 0.0;
    for (int e = start[p]; e < start[p + 1]; ++e) deepest = std::max(deepest, level[driver[e]]);
    level[p] = deepest + (graph.kind[p] == NodeKind::kGate ? 1.0 : 0.0);
    depth_ = std::max(depth_, static_cast<int>(level[p]));
    if (!live[p]) continue;
    for (int e = start[p]; e < start[p + 1]; ++e) cover_[e] += 1.0;
    through[p] += static_cast<double>(start[p + 1] - start[p]);
    if (graph.kind[p] == NodeKind::kSink) continue;
    for (int k = graph.fanOutStart[p]; k < graph.fanOutStart[p + 1]; ++k) {
      const int receiver = graph.fanOutReceiver[k];
      if (!live[receiver]) continue;
      cover_[graph.fanOutEdge[k]] += through[p];
      through[receiver] += through[p];
      break;
    }
  }
  const int sink = graph.sinkPosition;
  double units = 0.0;
  for (int e = start[sink]; e < start[sink + 1]; ++e) units += cover_[e];

  const double share = constants.coverShare;
  for (int p = 0; p < n; ++p) {
    for (int e = start[p]; e < start[p + 1]; ++e) {
      cover_[e] = units > 0.0 ? cover_[e] / units : 0.0;
      lambdas[e] = (1.0 - share) * lambdas[e] + share * cover_[e];
    }
  }
  AssignLarge(nodeStep_, n, constants.step);
  if (constants.meanShare > 0.0) AssignLarge(mean_, n, 0.0);
  if (constants.momentum > 0.0) AssignLarge(previous_, graph.EdgeCount(), 0.0);
  AssignLarge(critical_, n, std::int32_t{-1});
}

void RobustMethod::Update(const TimingGraph& graph, const NodeTiming* timing,
                          Multipliers& multipliers) {
  const RobustParameters& q = constants;
  const int n = graph.NodeCount();
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  double* lambdas = multipliers.lambda.data();
  const double limitFactor = ExpNear0(-q.stepLimit);
  const HeldRatio change(q.momentumRatio);
  const int edges = graph.EdgeCount();

  // Forward: each pin's new weight, from its drivers' arrivals, which are all known, and their
  // means, known once the levels below are done. A weight takes its multiplier's place until
  // the backward walk has scaled it: the multipliers that a node reads there are its
  // receivers', already final.
  const double idle = static_cast<double>(idlePasses_);
  const double meanWeight = q.meanShare * idle / (idle + q.meanDecay);
  const bool blend = meanWeight > 0.0;
  double* mean = mean_.data();
  const bool trend = q.momentum > 0.0;
  double* previous = previous_.data();
  const auto lateness = [&](int node) {
    return blend ? (1.0 - meanWeight) * timing[node].arrival + meanWeight * mean[node]
                 : timing[node].arrival;
  };
  const auto forward = [&](int begin, int end) {
    for (int p = begin; p < end; ++p) {
      const int first = start[p];
      const int last = start[p + 1];
      if (blend) {  // before this update changes the pins' multipliers
        double flow = 0.0;
        double weighted = 0.0;
        double latestMean = 0.0;  // for a node without flow
        for (int e = first; e < last; ++e) {
          // The first reads of the drivers' entries in this update: fetched ahead, or each
          // one waits for memory.
          if (e + kPrefetchDistance < edges) {
            PrefetchRead(&mean[driver[e + kPrefetchDistance]]);
            PrefetchRead(&timing[driver[e + kPrefetchDistance]]);
          }
          flow += lambdas[e];
          weighted += lambdas[e] * mean[driver[e]];
          latestMean = std::max(latestMean, mean[driver[e]]);
        }
        mean[p] = timing[p].delay + (flow > 0.0 ? weighted / flow : latestMean);
      }
      if (last - first < 2) continue;  // a single pin carries the whole flow
      int critical = first;            // the latest pin; among equal ones the last
      double latest = lateness(driver[first]);
      for (int e = first + 1; e < last; ++e) {
        const double late = lateness(driver[e]);
        if (!(late < latest)) critical = e, latest = late;
      }
      const std::int32_t criticalPin = critical - first;
      const double stepBefore = nodeStep_[p];
      if (critical_[p] >= 0) {
        const bool sink = graph.kind[p] == NodeKind::kSink;
        const double floor = sink ? q.outputStepFloor : 0.0;
        const int pins = last - first;
        const double damping =
            !sink && pins > q.widePins
                ? 1.0 - (1.0 - q.damping) * static_cast<double>(q.widePins) / pins
                : q.damping;
        nodeStep_[p] = criticalPin != critical_[p] ? std::max(floor, nodeStep_[p] * damping)
                                                   : std::min(q.step, nodeStep_[p] * q.recovery);
      }
      critical_[p] = criticalPin;
      const double step = nodeStep_[p];
      // A node damped in this update follows no trend in it; the others follow theirs in
      // proportion to their step.
      const double momentum = step < stepBefore ? 0.0 : q.momentum * (step / q.step);
      for (int e = first; e < last; ++e) {
        if (e + kPrefetchDistance < edges) PrefetchRead(&timing[driver[e + kPrefetchDistance]]);
        const NodeTiming& from = timing[driver[e]];
        const double starting = lambdas[e];
        const double slack = latest - lateness(driver[e]);
        if (slack > 0.0) {
          const double stageDelay = from.delay;
          const double exponent = stageDelay > 0.0 ? step * slack / stageDelay : q.stepLimit;
          lambdas[e] *= exponent < q.stepLimit ? ExpNear0(-exponent) : limitFactor;
        }
        if (!trend) continue;
        // No trend before the second update, nor on a connection without flow.
        if (momentum > 0.0 && previous[e] > 0.0) {
          const double ratio = change(starting, previous[e]);
          lambdas[e] *= ExpNear0(momentum * LogNear1(ratio));
        }
        previous[e] = starting;
      }
    }
  };
  // Without the mean the nodes do not depend on each other and are split among the threads.
  if (blend) {
    ForwardByLevel(graph, forward);
  } else {
    ParallelFor(0, n, start, forward);
  }

  // Backward: each node passes on the flow its receivers take.
  ++updates_;
  const double depth = static_cast<double>(depth_);
  double evenShare = q.evenShare / (q.evenOverDepth ? depth : std::sqrt(depth));
  if (q.evenDecay > 0.0) evenShare *= q.evenDecay / (q.evenDecay + updates_);
  evenShare_ = evenShare;
  // Receivers lie in higher levels: a level's nodes depend only on the levels above.
  BackwardByLevel(graph, [&](int begin, int end) {
    for (int p = end - 1; p >= begin; --p) {
      const int first = start[p];
      const int last = start[p + 1];
      if (first == last) continue;
      const double moving = Moving(Through(graph, lambdas, p), CoverSum(graph, p));
      if (last - first == 1) {
        lambdas[first] = moving + q.coverShare * cover_[first];
      } else {
        double total = 0.0;  // the weights of the forward walk
        for (int e = first; e < last; ++e) total += lambdas[e];
        const double scale = total > 0.0 ? (1.0 - evenShare) * moving / total : 0.0;
        const double even = evenShare * moving / static_cast<double>(last - first);
        for (int e = first; e < last; ++e) {
          lambdas[e] = (scale * lambdas[e] + even) + q.coverShare * cover_[e];
        }
      }
    }
  });
}

// What the receivers of p take of `flow` (1 for "Output").
double RobustMethod::Through(const TimingGraph& graph, const double* flow, int p) const {
  if (graph.kind[p] == NodeKind::kSink) return 1.0;
  double through = 0.0;
  for (int k = graph.fanOutStart[p]; k < graph.fanOutStart[p + 1]; ++k) {
    // The walks run backwards, so the entries ahead are the ones below.
    if (k >= kPrefetchDistance) PrefetchRead(&flow[graph.fanOutEdge[k - kPrefetchDistance]]);
    through += flow[graph.fanOutEdge[k]];
  }
  return through;
}

// The covering flow of the pins of p, summed in pin order.
double RobustMethod::CoverSum(const TimingGraph& graph, int p) const {
  double coverSum = 0.0;
  for (int e = graph.fanInStart[p]; e < graph.fanInStart[p + 1]; ++e) coverSum += cover_[e];
  return coverSum;
}

// The part of a node's flow that does not come from the covering flow: what the backward walks
// re-split.
double RobustMethod::Moving(double through, double coverSum) const {
  return std::max(0.0, through - constants.coverShare * coverSum);
}

// The even part of a pin's multiplier is what the last update added: evenShare_ times the
// node's moving flow, over its pins. A node passes on what its receivers take of the stripped
// flow, split in proportion to what its pins carry beyond strippedEvenTimes such parts.
void RobustMethod::Strip(const TimingGraph& graph, const Multipliers& multipliers,
                         std::vector<double>& stripped, int doublings) const {
  const RobustParameters& q = constants;
  const int* start = graph.fanInStart.data();
  const double* lambdas = multipliers.lambda.data();
  const double* previous = previous_.data();
  const HeldRatio change(q.aheadRatio);
  // Every edge is a pin of one node, which writes it below: storage is all it needs.
  if (stripped.size() != multipliers.lambda.size()) {
    AssignLarge(stripped, multipliers.lambda.size(), 0.0);
  }
  double* out = stripped.data();
  BackwardByLevel(graph, [&](int begin, int end) {
    for (int p = end - 1; p >= begin; --p) {
      const int first = start[p];
      const int last = start[p + 1];
      if (first == last) continue;
      const double pins = static_cast<double>(last - first);
      const double coverSum = CoverSum(graph, p);
      const double floor =
          last - first > 1 ? q.strippedEvenTimes *
                                 (evenShare_ * Moving(Through(graph, lambdas, p), coverSum) / pins)
                           : 0.0;
      // Each pin's part beyond the floor, pushed ahead along its last change; kept in `out`
      // until the node's flow is known (its receivers read only its fan-out entries).
      double total = 0.0;
      for (int e = first; e < last; ++e) {
        double beyond = std::max(0.0, (lambdas[e] - q.coverShare * cover_[e]) - floor);
        if (doublings > 0 && previous[e] > 0.0) {
          double ratio = change(lambdas[e], previous[e]);
          for (int k = 0; k < doublings; ++k) ratio *= ratio;
          beyond *= ratio;
        }
        out[e] = beyond;
        total += beyond;
      }
      const double moving = Moving(Through(graph, out, p), coverSum);
      for (int e = first; e < last; ++e) {
        const double share = total > 0.0 ? out[e] / total : 1.0 / pins;
        out[e] = moving * share + q.coverShare * cover_[e];
      }
    }
  });
}

RobustMethod::RobustMethod(const Parameters& parameters)
    : certifyThreshold_(std::min(parameters.innerThreshold,
                                 constants.certifyShare * parameters.outerThreshold)) {}

void RobustMethod::Start(Optimizer& optimizer) {
  optimizer.AlternateSweeps(true);
  optimizer.LimitPassSweeps(constants.passSweeps);
  optimizer.LoosenPassThreshold(constants.passShare * optimizer.parameters.outerThreshold);
  Start(optimizer.Graph(), optimizer.Lambdas(), optimizer.Scratch(0), optimizer.Scratch(1));
}

// The starting sizes are not re-weighted from: the first pass sizes for the starting flow.
void RobustMethod::Update(Optimizer& optimizer, int pass) {
  if (pass == 0) return;
  Update(optimizer.Graph(), optimizer.Timing().data(), optimizer.Lambdas());
}

void RobustMethod::Certify(Optimizer& optimizer, double upper, int pass) {
  const double passValue = optimizer.LowerBound();
  double value = -std::numeric_limits<double>::infinity();
  // The stripped flows first: a tight solve only lowers a pass's value, so when their best
  // certified value is at least the pass's own, the multipliers' own cannot beat it.
  if (updates_ > 0) {
    Multipliers& multipliers = optimizer.Lambdas();
    const bool ahead = !previous_.empty();
    const int centre = ahead ? doublings_ : 0;
    const int last = ahead ? std::min(centre + 1, constants.aheadMostDoublings) : 0;
    // The centre first: a candidate whose value falls below the best so far is given up.
    for (const int d : {centre, centre + 1, centre - 1}) {
      if (d < 0 || d > last) continue;
      Strip(optimizer.Graph(), multipliers, stripped_, d);
      multipliers.lambda.swap(stripped_);
      // The candidates after the first start from the sizes of the solve before, for a flow
      // close to theirs: nearer to their minimum than the pass's sizes. The first starts where
      // the last certificate's best solve ended.
      const Sizing* start = d != centre              ? &optimizer.LastSolve()
                            : lastBest_.size.empty() ? nullptr
                                                     : &lastBest_;
      const double candidate = optimizer.CertifiedLowerBound(certifyThreshold_, value, start);
      multipliers.lambda.swap(stripped_);
      if (candidate > value) {
        value = candidate;
        doublings_ = std::max(1, d);
        lastBest_.size = optimizer.LastSolve().size;
        lastBest_.loadCap = optimizer.LastSolve().loadCap;
      }
    }
    uplift_ = value - passValue;
    if (passValue > strippedPass_) {
      strippedRate_ =
          std::min(1.0, std::max(0.0, (value - strippedValue_) / (passValue - strippedPass_)));
    }
    strippedPass_ = passValue;
    strippedValue_ = value;
  }
  if (!(value >= passValue)) {
    const double own = optimizer.CertifiedLowerBound(certifyThreshold_);
    shortfall_ = std::max(0.0, passValue - own);
    value = std::max(value, own);
  }
  lastCertified_ = pass;
  optimizer.SetLowerBound(value);
  optimizer.LogPass(value, upper);
  Statistics& stats = optimizer.Stats();
  ++stats.certificates;
  certified_ = std::max(certified_, value);
  stats.certifiedLower = certified_;
}

// The new sizes weigh 1/4 in logarithms: sqrt(a * sqrt(a * s)) = a^(3/4) s^(1/4), from square
// roots alone (correctly rounded everywhere) and without the range of a product of four
// sizes. Each node reads only its own entries, so the threads split them.
double RobustMethod::Average(Optimizer& optimizer, int pass) {
  const std::vector<double>& size = optimizer.Current().size;
  if (!constants.averageSizes) return std::numeric_limits<double>::infinity();
  if (pass == 1) {
    average_ = size;
    return std::numeric_limits<double>::infinity();
  }
  const TimingGraph& graph = optimizer.Graph();
  ParallelFor(0, graph.NodeCount(), [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      const double a = average_[p];
      average_[p] =
          graph.kind[p] == NodeKind::kGate ? std::sqrt(a * std::sqrt(a * size[p])) : size[p];
    }
  });
  return idlePasses_ > 0 ? optimizer.TimeAside(average_) : std::numeric_limits<double>::infinity();
}

Next RobustMethod::Judge(Optimizer& optimizer, int pass) {
  // No result is slower than leaving every gate at its minimum size.
  if (pass == 0) {
    optimizer.TakeAsBest();
    return Next::kContinue;
  }
  const double own = optimizer.MaxDelay();
  if (!(own < ownBest_)) ++idlePasses_;
  ownBest_ = std::min(ownBest_, own);
  const double averaged = Average(optimizer, pass);
  double upper = own;
  if (averaged < own) {
    upper = averaged;
    optimizer.LogPass(optimizer.LowerBound(), upper);
    ++optimizer.Stats().averagedPasses;
    if (averaged < optimizer.BestDelay()) optimizer.TakeAsBest(average_, averaged);
  } else {
    optimizer.LogPass();
  }
  Statistics& stats = optimizer.Stats();
  const double outer = optimizer.parameters.outerThreshold;
  bestLower_ = std::max(bestLower_, optimizer.LowerBound());
  // A certified bound holds for good: a sizing that comes within the threshold of an earlier
  // one needs no certificate of its own.
  if (certified_ > 0.0 && !(Excess(optimizer.BestDelay(), certified_) > outer)) {
    stats.converged = true;
    return Next::kStop;
  }
  bool certified = false;
  // The stripped flow's value is expected to rise with the pass's own at the rate measured
  // between the last two certificates.
  const double expected =
      ((optimizer.LowerBound() + std::max(0.0, uplift_)) - shortfall_) -
      (1.0 - strippedRate_) * std::max(0.0, optimizer.LowerBound() - strippedPass_);
  const bool explore =
      pass - lastCertified_ >= constants.explorePasses &&
      !(Excess(optimizer.BestDelay(), optimizer.LowerBound()) > constants.exploreGap);
  // Met, or not a number.
  if (!(Excess(optimizer.BestDelay(), expected) > outer) || explore) {
    Certify(optimizer, upper, pass);
    certified = true;
    if (!(Excess(optimizer.BestDelay(), certified_) > outer)) {
      stats.converged = true;
      return Next::kStop;
    }
  }
  // Progress: a bound better by a meaningful share than at the last progress.
  const double meaningful = std::max(constants.progressFloor, constants.progressShare * outer);
  if (optimizer.BestDelay() < progressDelay_ * (1.0 - meaningful) ||
      bestLower_ > progressLower_ * (1.0 + meaningful)) {
    progressDelay_ = optimizer.BestDelay();
    progressLower_ = bestLower_;
    progressPass_ = pass;
  } else if (pass - progressPass_ >= constants.stallPasses) {
    if (!certified) Certify(optimizer, upper, pass);
    stalledAt_ = pass;
    return Next::kStop;
  }
  return pass >= optimizer.parameters.maxOuterPasses ? Next::kStop : Next::kContinue;
}

// The gap in per cent, rounded up to two significant digits, so that the statement holds.
std::string RobustMethod::Conclude(Optimizer& optimizer) {
  if (stalledAt_ == 0) return "";
  const double percent = 100.0 * Excess(optimizer.BestDelay(), certified_);
  char text[64] = "an unknown amount";
  if (percent == 0.0) {
    std::snprintf(text, sizeof text, "0");
  } else if (percent > 0.0 && percent < 1e300) {
    const int exponent = static_cast<int>(std::floor(std::log10(percent)));
    const double unit = std::pow(10.0, exponent - 1);
    std::snprintf(text, sizeof text, "%.*f", std::max(0, 1 - exponent),
                  std::ceil(percent / unit) * unit);
  }
  return "Warning: stopped after " + std::to_string(stalledAt_) +
         " passes without progress; the result is within " + text +
         " % of the minimum delay (certified)";
}

}  // namespace tambril::sizing
