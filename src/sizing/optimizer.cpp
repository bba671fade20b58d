// The outer loop shared by every method: size for the current multipliers (lower bound), time
// the circuit (upper bound), let the method judge the pass and re-weight the multipliers, until
// the method stops; the log holds both bounds of every logged pass.
#include "sizing/optimizer.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "util/prefetch.h"

namespace tambril::sizing {

double RelativeGap(double a, double b) {
  const double total = a + b;
  return std::fabs(a / total - b / total);
}

double Excess(double upper, double lower) { return (upper - lower) / lower; }

Optimizer::Optimizer(const TimingGraph& graph, int outputCount)
    : graph_(graph), outputCount_(outputCount) {
  const int nodes = graph.NodeCount();
  current_.Reset(nodes);
  trial_.Reset(nodes);
  AssignLarge(timing_, nodes, NodeTiming{0.0, 0.0});
  AssignLarge(multipliers_.lambda, graph.EdgeCount(), -1.0);
  AssignLarge(pinLoad_, nodes, 0.0);
  AssignLarge(nodeWeight_, nodes, 0.0);
  AssignLarge(relay_, nodes, 0.0);
  // "Output" loads each primary output with its fixed capacitance, whatever the sizes.
  if (graph.sinkPosition >= 0) {
    pinLoad_[graph.sinkPosition] = graph.Constants(graph.sinkPosition).unitInputCap;
  }
}

Optimizer::~Optimizer() = default;

void Optimizer::Run(Reporter& reporter) {
  const MethodEntry* entry = FindMethod(parameters.method);
  if (entry == nullptr) throw std::invalid_argument("no sizing method " + parameters.method);
  const bool forArea = parameters.delayTarget > 0.0;
  if (forArea && entry->makeForArea == nullptr) {
    throw std::invalid_argument("sizing method " + parameters.method + " has no delay target");
  }
  const std::unique_ptr<Method> method =
      forArea ? entry->makeForArea(parameters) : entry->make(parameters);
  areaWeight_ = 0.0;
  alternateSweeps_ = false;
  passSweeps_ = std::numeric_limits<int>::max();
  passThreshold_ = 0.0;
  stats_ = Statistics();
  reporter_ = &reporter;
  if (parameters.chooseThreads && MostThreads() > 1) threads_ = std::make_unique<ThreadChooser>();
  bestDelay_ = std::numeric_limits<double>::infinity();
  log_.Open(parameters.logPath, parameters.logApart);

  Stopwatch watch;
  EvenMultipliers();
  method->Start(*this);
  StartingSizes();
  lowerBound_ = LagrangianValue(current_);
  stats_.startSeconds += watch.Lap();
  Time();
  stats_.arrivalSeconds += watch.Lap();
  int pass = 0;
  Next next = method->Judge(*this, pass);
  stats_.resizeSeconds += watch.Lap();  // a judge's own work is certifying, an inner loop
  while (next == Next::kContinue) {
    method->Update(*this, pass);
    stats_.multiplierSeconds += watch.Lap();
    ++pass;
    ++stats_.outerPasses;
    Resize();
    stats_.resizeSeconds += watch.Lap();
    Time();
    stats_.arrivalSeconds += watch.Lap();
    next = method->Judge(*this, pass);
    stats_.resizeSeconds += watch.Lap();
  }
  if (next == Next::kClose) {
    method->Update(*this, pass);
    stats_.multiplierSeconds += watch.Lap();
    Resize();
    stats_.resizeSeconds += watch.Lap();
    Time();
    stats_.arrivalSeconds += watch.Lap();
    LogPass();
  }
  stats_.passes = method->PrintedPasses(stats_);
  reporter.Progress(" Done!\nTotal number of iteration: " + std::to_string(stats_.passes) + "\n\n");
  log_.Close();
  Finish(*method);
  reporter_ = nullptr;
  threads_.reset();
  UseThreads(MostThreads());
}

// The result: the last logged pass, or the best state seen (the fastest, for the delay), timed
// again; then the method's conclusion, and a warning of its own or when the loop ended at its
// cap.
void Optimizer::Finish(Method& method) {
  const bool last = method.ReportsLastPass(stats_);
  if (last) {
    stats_.reportedPass = stats_.loggedPasses;
  } else if (stats_.reportedPass != stats_.loggedPasses || !bestIsCurrent_) {
    RestoreSizes(bestSize_);
  }
  const std::string own = method.Conclude(*this);
  if (!own.empty()) {
    reporter_->Warning(own);
    return;
  }
  if (last) return;
  if (stats_.converged) return;
  std::string line = "Warning: the outer loop did not converge in " +
                     std::to_string(parameters.maxOuterPasses) + " passes; the result is ";
  if (stats_.reportedPass == 0) {
    line += "every gate at its minimum size, faster than every pass";
  } else {
    line += "pass " + std::to_string(stats_.reportedPass) + " of " +
            std::to_string(stats_.loggedPasses) + " in convergence.txt, " + method.BestPass();
  }
  reporter_->Warning(line + method.CapHint());
}

void Optimizer::LogPass() {
  LogPass(lowerBound_, MaxDelay());
  // The earliest of equally fast states; sizes are copied only when the delay improves.
  if (MaxDelay() < bestDelay_) TakeAsBest();
}

void Optimizer::LogPass(double lower, double upper) {
  log_.Line(lower, upper);
  if (reporter_ != nullptr) reporter_->Progress(".");
  ++stats_.loggedPasses;
}

void Optimizer::AlternateSweeps(bool alternate) {
  alternateSweeps_ = alternate;
  if (alternate && upstream_.size() != relay_.size()) AssignLarge(upstream_, relay_.size(), 0.0);
  if (alternate && terms_.size() != relay_.size()) {
    AssignLarge(terms_, relay_.size(), 0.0);
    blockSums_.assign(relay_.size() / kSumBlock + 1, 0.0);
  }
}

double Optimizer::TotalArea() const {
  const int n = graph_.NodeCount();
  const int* position = graph_.positionOfId.data();
  double sum = 0.0;
  for (int k = 0; k < n; ++k) {
    const int p = position[k];
    if (graph_.kind[p] == NodeKind::kGate) sum += current_.size[p];
  }
  return sum;
}

void Optimizer::TakeAsBest() {
  bestDelay_ = MaxDelay();
  stats_.reportedPass = stats_.loggedPasses;
  bestSize_ = current_.size;
  bestIsCurrent_ = true;
}

namespace {

// What sweeps would still take off a value after the last four took off drops[0] (the last),
// drops[1], drops[2] and drops[3]: twice the rest of a geometric series whose ratio is that of
// the last two pairs of sweeps (a forward and a backward one), held within [1/2, 0.99]. Sweeps
// close in on the minimum of the Lagrangian more and more slowly, so the rest of the series
// fitted to the last steps falls short of what remains, by up to 1.7 times on deep circuits.
double RemainingDescent(const double* drops) {
  const double pair = drops[0] + drops[1];
  if (!(pair > 0.0)) return 0.0;
  const double before = drops[2] + drops[3];
  // Fewer than four drops: too few for a ratio.
  double ratio = drops[3] > 0.0 ? pair / before : 0.5;
  ratio = ratio < 0.5 ? 0.5 : ratio > 0.99 ? 0.99 : ratio;
  return 2.0 * (pair * ratio / (1.0 - ratio));
}

}  // namespace

// The inner loop of Resize(threshold), on a copy in the trial state: a sweep reads nothing of
// its state but each gate's own size and load before it writes them, so sweeping in place
// gives the values of sweeping from one state into another, and only the value is kept.
double Optimizer::CertifiedLowerBound(double threshold, double below, const Sizing* start) {
  if (start == nullptr) start = &current_;
  if (start != &trial_) {
    trial_.size = start->size;
    trial_.loadCap = start->loadCap;
  }
  WeighNodes();
  sweepsInLoop_ = 0;
  double previous = Sweep(trial_, trial_, true);
  double drops[4] = {0.0, 0.0, 0.0, 0.0};  // the last four, the last first
  for (int sweep = 1; sweep <= parameters.maxTrialSweeps && !(previous < below); ++sweep) {
    const double value = Sweep(trial_, trial_, true);
    const bool settled = !(RelativeGap(value, previous) > threshold);
    if (value < previous) {  // a number, and lower
      for (int k = 3; k > 0; --k) drops[k] = drops[k - 1];
      drops[0] = previous - value;
      previous = value;
    }
    if (settled) break;
  }
  if (!sweptLoads_) LoadSweep(trial_);  // the next solve may start here
  if (previous < below) return previous;
  return previous - RemainingDescent(drops);
}

// The trial state is free between inner loops.
double Optimizer::TimeAside(std::vector<double>& sizes) {
  trial_.size.swap(sizes);
  LoadSweep(trial_);
  if (asideTiming_.size() != timing_.size()) {
    AssignLarge(asideTiming_, timing_.size(), NodeTiming{0.0, 0.0});
  }
  ComputeArrivalTimes(graph_, trial_.size.data(), trial_.loadCap.data(), asideTiming_.data());
  trial_.size.swap(sizes);
  return graph_.sinkPosition >= 0 ? asideTiming_[graph_.sinkPosition].arrival : 0.0;
}

void Optimizer::TakeAsBest(const std::vector<double>& sizes, double delay) {
  bestDelay_ = delay;
  stats_.reportedPass = stats_.loggedPasses;
  bestSize_ = sizes;
  bestIsCurrent_ = false;  // sizes timed aside: the current state is another
}

void Optimizer::RestoreSizes(const std::vector<double>& sizes) {
  current_.size = sizes;
  LoadSweep(current_);
  Time();
}

void Optimizer::Time() {
  ComputeArrivalTimes(graph_, current_.size.data(), current_.loadCap.data(), timing_.data());
  maxDelay_ = graph_.sinkPosition >= 0 ? timing_[graph_.sinkPosition].arrival : 0.0;
}

// Both walk receivers before drivers: a node reads the multipliers of its fan-out connections,
// which its receivers (in higher levels) have written, and writes its own pins'.
void Optimizer::EvenMultipliers() {
  const int* start = graph_.fanInStart.data();
  double* lambdas = multipliers_.lambda.data();
  BackwardByLevel(graph_, [&](int begin, int end) {
    for (int p = end - 1; p >= begin; --p) {
      const int first = start[p];
      const int last = start[p + 1];
      if (graph_.kind[p] == NodeKind::kSink) {
        // A header without a usable output count: share by the outputs actually present.
        const int outputs = outputCount_ > 0 ? outputCount_ : last - first;
        const double share = 1.0 / static_cast<double>(outputs);
        for (int e = first; e < last; ++e) {
          lambdas[e] = share;
        }
      } else {
        double flow = 0.0;
        for (int k = graph_.fanOutStart[p]; k < graph_.fanOutStart[p + 1]; ++k) {
          flow += lambdas[graph_.fanOutEdge[k]];
        }
        const double fanInCount = static_cast<double>(last - first);
        for (int e = first; e < last; ++e) {
          lambdas[e] = flow / fanInCount;
        }
      }
    }
  });
}

}  // namespace tambril::sizing
