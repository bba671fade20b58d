#include "referenceOptimizer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>

namespace tambril::test {

namespace {

constexpr int kMaxTrialSweeps = 1000;

bool Is(const CGate& gate, const char* name) { return std::strcmp(gate.name, name) == 0; }
bool IsInput(const CGate& gate) { return Is(gate, "Input"); }
bool IsOutput(const CGate& gate) { return Is(gate, "Output"); }
bool IsPri(const CGate& gate) { return Is(gate, "pri"); }
bool IsGate(const CGate& gate) { return !IsInput(gate) && !IsOutput(gate) && !IsPri(gate); }

// Largest element, 0.0 for an empty vector.
double Maximum(const std::vector<double>& values) {
  double best = values.empty() ? 0.0 : values[0];
  for (double value : values) {
    if (value > best) best = value;
  }
  return best;
}

// Kahn's algorithm over the fan-in lists: a node is placed once all its drivers are.
std::vector<int> DriversFirst(const std::vector<PartType>& nodes) {
  std::vector<int> waiting(nodes.size());
  std::deque<int> ready;
  for (size_t k = 0; k < nodes.size(); ++k) {
    waiting[k] = static_cast<int>(nodes[k].fanIns.size());
    if (waiting[k] == 0) ready.push_back(static_cast<int>(k) + 1);
  }
  std::vector<int> order;
  for (; !ready.empty(); ready.pop_front()) {
    order.push_back(ready.front());
    for (const PartInfo& out : nodes[ready.front() - 1].fanOuts) {
      if (--waiting[out.node - 1] == 0) ready.push_back(out.node);
    }
  }
  return order;
}

double RelativeGap(double lower, double upper) {
  const double total = upper + lower;
  return std::fabs(upper / total - lower / total);
}

}  // namespace

std::string LdpRun::Log() const {
  std::string text = "Lower Bound\tUpper Bound\n===========\t===========\n";
  char line[80];
  for (size_t k = 0; k < lower.size(); ++k) {
    std::snprintf(line, sizeof line, "%g\t%g\n", lower[k], upper[k]);
    text += line;
  }
  return text;
}

ReferenceOptimizer::ReferenceOptimizer(std::vector<PartType> nodes, int outputs, double inner,
                                       double outer, int maxOuterPasses)
    : parts(std::move(nodes)),
      outputCount_(outputs),
      innerImprove_(inner),
      outerImprove_(outer),
      maxOuterPasses_(maxOuterPasses) {
  forwardOrder_ = DriversFirst(parts);
}

void ReferenceOptimizer::ComputeArrivalTime() {
  for (int id : forwardOrder_) {
    for (const PartInfo& in : parts[id - 1].fanIns) {
      const CGate& d = Node(in.node);
      parts[id - 1].gate.inputArrivals[in.pin] = Maximum(d.inputArrivals) + d.delay;
    }
  }
}

void ReferenceOptimizer::IntializeLM() {
  for (auto it = forwardOrder_.rbegin(); it != forwardOrder_.rend(); ++it) {
    PartType& v = parts[*it - 1];
    double share;
    if (IsOutput(v.gate)) {
      share = 1.0 / (outputCount_ > 0 ? outputCount_ : static_cast<int>(v.fanIns.size()));
    } else {
      double s = 0.0;
      for (const PartInfo& out : v.fanOuts) s += Node(out.node).lambdas[out.pin];
      share = s / v.gate.fanInCount;
    }
    v.gate.lambdaSum = 0.0;
    for (double& lambda : v.gate.lambdas) {
      lambda = share;
      v.gate.lambdaSum += lambda;
    }
  }
}

void ReferenceOptimizer::UpdateLM() {
  for (auto it = forwardOrder_.rbegin(); it != forwardOrder_.rend(); ++it) {
    PartType& v = parts[*it - 1];
    CGate& g = v.gate;
    if (IsInput(g)) continue;
    const std::vector<double>& arr = g.inputArrivals;
    std::vector<double>& lam = g.lambdas;
    const double a = Maximum(arr) + g.delay;
    double S = 0.0;
    for (size_t n = 0; n < lam.size(); ++n) S = S + ((arr[n] + g.delay) * lam[n]) / a;
    double F = 0.0;
    if (IsOutput(g)) {
      maxDelay = a;
      F = 1.0;
    } else {
      for (const PartInfo& out : v.fanOuts) F += Node(out.node).lambdas[out.pin];
    }
    const bool degenerate = F == 0.0 || a == 0.0 || S == 0.0;
    const double r = F / S;
    g.lambdaSum = 0.0;
    for (size_t n = 0; n < lam.size(); ++n) {
      lam[n] = degenerate ? F / g.fanInCount : (((arr[n] + g.delay) * lam[n]) / a) * r;
      g.lambdaSum += lam[n];
    }
  }
}

// Loads in reverse order. A primary output adds its own output capacitance last, and the bare
// unitInputCap of "Output" (the output load); other gates start from their own.
void ReferenceOptimizer::LoadSweep(std::vector<PartType>& values) const {
  for (auto it = forwardOrder_.rbegin(); it != forwardOrder_.rend(); ++it) {
    PartType& v = values[*it - 1];
    CGate& g = v.gate;
    if (IsInput(g) || IsOutput(g)) continue;
    const bool last = g.isPrimaryOutput;
    double load = last || IsPri(g) ? 0.0 : g.unitOutputCap * g.size;
    for (const PartInfo& out : v.fanOuts) {
      const CGate& r = values[out.node - 1].gate;
      load += IsOutput(r) ? r.unitInputCap : r.unitInputCap * r.size;
    }
    if (last) load += g.unitOutputCap * g.size;
    g.loadCap = load;
  }
}

// Sizes in forward order; a gate sees the sizes its drivers received earlier in the sweep.
void ReferenceOptimizer::ResizeSweep(std::vector<PartType>& values) const {
  for (int id : forwardOrder_) {
    PartType& v = values[id - 1];
    CGate& g = v.gate;
    if (!IsGate(g)) continue;
    double up = 0.0;
    for (const PartInfo& in : v.fanIns) {
      const CGate& u = values[in.node - 1].gate;
      if (IsPri(u)) {
        up += u.lambdaSum * u.unitResistance;
      } else if (!IsInput(u)) {
        up += (u.unitResistance / u.size) * u.lambdaSum;
      }
    }
    g.upstreamResistance = up;
    const double q = (g.lambdaSum * g.unitResistance) * (g.loadCap - g.size * g.unitOutputCap) /
                     (g.unitInputCap * up);
    // max(a, b) = b if a < b else a; min(a, b) = b if b < a else a: NaN -> minSize.
    const double x = std::sqrt(q);
    const double atLeast = g.minSize < x ? x : g.minSize;
    g.size = atLeast < g.maxSize ? atLeast : g.maxSize;
  }
}

double ReferenceOptimizer::ComputeLu(std::vector<PartType>& values) const {
  double sum = 0.0;
  for (PartType& part : values) {
    CGate& g = part.gate;
    if (IsInput(g) || IsOutput(g)) continue;
    g.delay = IsPri(g) ? g.unitResistance * g.loadCap : (g.unitResistance / g.size) * g.loadCap;
    sum += g.lambdaSum * g.delay;
  }
  return sum;
}

void ReferenceOptimizer::SolveLRSuHelper() {
  for (PartType& part : parts) {
    if (IsGate(part.gate)) part.gate.size = part.gate.minSize;
  }
  LoadSweep(parts);
}

void ReferenceOptimizer::SolveLRSu() {
  ResizeSweep(parts);
  LoadSweep(parts);
  double previous = ComputeLu(parts);
  lowerBound = previous;
  for (int count = 0; count < kMaxTrialSweeps; ++count) {
    std::vector<PartType> trial = parts;
    ResizeSweep(trial);
    LoadSweep(trial);
    const double cur = ComputeLu(trial);
    if (!(RelativeGap(previous, cur) > innerImprove_)) return;
    parts = std::move(trial);
    lowerBound = previous = cur;
  }
}

// The outer loop. When it stops at its cap, the result is the earliest pass with the smallest
// upper bound, timed again from its sizes.
LdpRun ReferenceOptimizer::SolveLDP() {
  LdpRun run;
  std::vector<double> bestSizes;
  auto pass = [&](bool solve) {
    if (solve) SolveLRSu();
    ComputeArrivalTime();
    UpdateLM();
    run.lower.push_back(lowerBound);
    run.upper.push_back(maxDelay);
    if (run.reportedPass == 0 || maxDelay < run.upper[run.reportedPass - 1]) {
      run.reportedPass = static_cast<int>(run.upper.size());
      bestSizes.assign(parts.size(), 0.0);
      for (const PartType& part : parts) bestSizes[part.gate.id - 1] = part.gate.size;
    }
  };
  run.iterations = 1;
  IntializeLM();
  SolveLRSuHelper();
  lowerBound = ComputeLu(parts);
  pass(false);
  for (int k = 1;; ++k) {
    pass(true);
    ++run.iterations;
    if (!(RelativeGap(lowerBound, maxDelay) > outerImprove_)) {
      run.converged = true;
      break;
    }
    if (k >= maxOuterPasses_) break;
  }
  pass(true);
  if (run.converged || run.reportedPass == static_cast<int>(run.upper.size())) {
    run.reportedPass = static_cast<int>(run.upper.size());
  } else {
    maxDelay = TimeWithSizes(bestSizes);
  }
  return run;
}

double ReferenceOptimizer::TimeWithSizes(const std::vector<double>& sizeById) {
  for (PartType& part : parts) {
    if (IsGate(part.gate)) part.gate.size = sizeById[part.gate.id - 1];
  }
  LoadSweep(parts);
  ComputeLu(parts);
  ComputeArrivalTime();
  for (const PartType& part : parts) {
    if (IsOutput(part.gate)) return Maximum(part.gate.inputArrivals) + part.gate.delay;
  }
  return 0.0;
}

}  // namespace tambril::test
