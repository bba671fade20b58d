#include "sizing/areaMethod.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "io/outputFile.h"
#include "sizing/optimizer.h"
#include "util/basicMath.h"
#include "util/parallel.h"

namespace tambril::sizing {

namespace {

// How much log D changes with log w, before two passes tell.
constexpr double kDefaultSlope = 0.05;
// log 4: w changes by at most a factor of 4 in one pass.
constexpr double kMaxStep = 1.3862943611198906;
// The re-weighting of the shape: the robust one, with a larger step and a smaller even share.
constexpr double kShapeStep = 0.5;
constexpr double kEvenShare = 0.001;
// A printed size (six significant digits) lies within 5e-6 of the size, relatively; a stage
// delay (R / x)(Cout x + load) of rounded sizes then lies within a factor (1 + e) / (1 - e) of
// the delay, and so does every arrival. A pass counts as meeting the target only with that room.
constexpr double kRounding = 6e-6;
// log w never falls this far below its start (w below 1e-200 of it, far below where a target
// that can be met needs it).
constexpr double kLowestLogWeight = -460.0;

}  // namespace

AreaMethod::AreaMethod(const Parameters& parameters)
    : target_(parameters.delayTarget), certifyThreshold_(0.0), shape_(parameters) {
  shape_.constants.step = kShapeStep;
  shape_.constants.evenShare = kEvenShare;
  shape_.constants.evenDecay = 0.0;
  shape_.constants.momentum = 0.0;
  shape_.constants.evenOverDepth = true;
  shape_.constants.meanShare = 0.0;
  shape_.constants.outputStepFloor = 0.0;
  shape_.constants.passShare = 0.0;  // a pass's value bounds the area from below
  certifyThreshold_ = std::min(parameters.innerThreshold,
                               shape_.constants.certifyShare * parameters.outerThreshold);
}

void AreaMethod::Start(Optimizer& optimizer) { shape_.Start(optimizer); }

// The starting sizes are not re-weighted from: the first pass sizes for the starting flow.
void AreaMethod::Update(Optimizer& optimizer, int pass) {
  if (pass == 0) return;
  shape_.Update(optimizer.Graph(), optimizer.Timing().data(), optimizer.Lambdas());
  optimizer.SetAreaWeight(optimizer.AreaWeight() * pendingFactor_);
}

double AreaMethod::NextWeightFactor(double delay) {
  const double excess = LogNear1(delay / target_);  // above 0: too slow, w must fall
  double slope = kDefaultSlope;
  if (hasLast_ && lastStep_ != 0.0) {
    const double secant = (excess - lastExcess_) / lastStep_;
    if (secant > 0.2 * kDefaultSlope && secant < 5.0 * kDefaultSlope) slope = secant;
  }
  double step = std::max(-kMaxStep, std::min(kMaxStep, -excess / slope));
  // A step down that did not make the circuit faster: the shape has to catch up first.
  if (hasLast_ && excess > 0.0 && lastStep_ < 0.0 && !(excess < lastExcess_)) step = 0.0;
  if (!(step == step) || (step < 0.0 && logWeight_ + step < kLowestLogWeight)) step = 0.0;
  lastExcess_ = excess;
  lastStep_ = step;
  hasLast_ = true;
  logWeight_ += step;
  return ExpNear0(step);
}

Next AreaMethod::Judge(Optimizer& optimizer, int pass) {
  Statistics& stats = optimizer.Stats();
  if (pass == 0) {
    optimizer.TakeAsBest();  // the fastest so far
    if (optimizer.MaxDelay() <= target_) {
      minimumSizesMeet_ = true;
      stats.converged = true;
      return Next::kStop;
    }
    const TimingGraph& graph = optimizer.Graph();
    maxArea_ = 0.0;
    for (int k = 0; k < graph.NodeCount(); ++k) {
      const int p = graph.positionOfId[k];
      if (graph.kind[p] == NodeKind::kGate) maxArea_ += graph.Constants(p).maxSize;
    }
    // A start where w weighs the area as much as the delay weighs at the minimum sizes.
    optimizer.SetAreaWeight(optimizer.MaxDelay() / optimizer.TotalArea());
    return Next::kContinue;
  }

  const double weight = optimizer.AreaWeight();
  const double delay = optimizer.MaxDelay();
  const double area = optimizer.TotalArea();
  const double lower = (optimizer.LowerBound() - target_) / weight;
  const bool found = bestArea_ < std::numeric_limits<double>::infinity();
  const bool meets = delay * ((1.0 + kRounding) / (1.0 - kRounding)) <= target_;
  // Until a pass meets the target, the best state is the fastest one.
  const bool better = meets ? area < bestArea_ : !found && delay < optimizer.BestDelay();
  if (meets && area < bestArea_) bestArea_ = area;
  optimizer.LogPass(lower, bestArea_);
  if (better) optimizer.TakeAsBest();
  pendingFactor_ = NextWeightFactor(delay);

  // Certify a pass that looks close enough to stop: its area near the best one; or, before any
  // pass met the target, the bound above the largest area that any sizing can have (no sizing
  // meets the target) and the fastest sizing near the least delay. For every sizing, the delay
  // is at least its weighted delay, which is at least V - w A >= V - w maxArea.
  const double outer = optimizer.parameters.outerThreshold;
  const auto decides = [&](double bound, double delayBound) {
    if (bestArea_ < std::numeric_limits<double>::infinity()) {
      return bound > 0.0 && !(Excess(bestArea_, bound) > outer);  // met, or not a number
    }
    return bound > maxArea_ && !(Excess(optimizer.BestDelay(), delayBound) > outer);
  };
  const double hopedValue = optimizer.LowerBound() - weight * shortfall_;
  if (decides(lower - shortfall_, hopedValue - weight * maxArea_)) {
    const double value = optimizer.CertifiedLowerBound(certifyThreshold_);
    const double bound = (value - target_) / weight;
    optimizer.LogPass(bound, bestArea_);
    ++stats.certificates;
    shortfall_ = std::max(0.0, lower - bound);
    certified_ = std::max(certified_, bound);
    certifiedDelay_ = std::max(certifiedDelay_, value - weight * maxArea_);
    stats.certifiedLower = certified_;
    if (decides(certified_, certifiedDelay_)) {
      stats.converged = true;
      return Next::kStop;
    }
  }
  return pass >= optimizer.parameters.maxOuterPasses ? Next::kStop : Next::kContinue;
}

std::string AreaMethod::Conclude(Optimizer& optimizer) {
  std::vector<double> sizes = optimizer.Current().size;
  const TimingGraph& graph = optimizer.Graph();
  ParallelFor(0, graph.NodeCount(), [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      if (graph.kind[p] == NodeKind::kGate) {
        sizes[p] = std::strtod(FormatDouble(sizes[p]).c_str(), nullptr);
      }
    }
  });
  optimizer.RestoreSizes(sizes);
  if (minimumSizesMeet_ || bestArea_ < std::numeric_limits<double>::infinity()) return "";
  optimizer.Stats().targetMissed = true;
  return "Warning: the delay target " + FormatDouble(target_) + " s is below the minimum delay " +
         FormatDouble(optimizer.MaxDelay()) + " s; the result is the fastest sizing";
}

}  // namespace tambril::sizing
