#include "reference_optimizer.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <sstream>
#include <utility>

#include "gtest/gtest.h"

namespace tambril_reference {

namespace {

constexpr int kMaxTrialSweeps = 1000;
constexpr int kMaxOuterPasses = 1000;

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

}  // namespace

double RelativeGap(double lower, double upper) {
  const double total = upper + lower;
  return std::fabs(upper / total - lower / total);
}

ReferenceOptimizer::ReferenceOptimizer(std::vector<PartType> nodes, int outputs, double inner,
                                       double outer)
    : parts(std::move(nodes)), outputCount(outputs), innerImprove(inner), outerImprove(outer) {
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
      share = 1.0 / (outputCount > 0 ? outputCount : static_cast<int>(v.fanIns.size()));
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
    if (!(RelativeGap(previous, cur) > innerImprove)) return;
    parts = std::move(trial);
    lowerBound = previous = cur;
  }
}

LdpRun ReferenceOptimizer::SolveLDP() {
  LdpRun run;
  auto pass = [&](bool solve) {
    if (solve) SolveLRSu();
    ComputeArrivalTime();
    UpdateLM();
    run.log.push_back({lowerBound, maxDelay});
  };
  run.iterations = 1;
  IntializeLM();
  SolveLRSuHelper();
  lowerBound = ComputeLu(parts);
  pass(false);
  for (int k = 1; k <= kMaxOuterPasses; ++k) {
    pass(true);
    ++run.iterations;
    if (!(RelativeGap(lowerBound, maxDelay) > outerImprove)) break;
  }
  pass(true);
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

// ---- Circuit generator ------------------------------------------------------------------------

RandomCircuit MakeRandomCircuit(std::mt19937_64& rng, const RandomCircuitOptions& options) {
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng);
  };
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  // INV has one key; NAND and NOR several, so a gate's row depends on its fan-in count.
  const std::vector<std::pair<const char*, std::vector<int>>> types = {
      {"INV", {1}}, {"NAND", {1, 2, 3, 4, 5}}, {"NOR", {2, 3, 4, 5}}, {"AOI", {3}}};

  RandomCircuit circuit;
  std::vector<std::pair<std::string, int>> rows;
  for (const auto& [name, keys] : types) {
    for (int key : keys) rows.emplace_back(name, key);
  }
  std::shuffle(rows.begin(), rows.end(), rng);
  circuit.library = "type\tinputs\tunitInputCap\tunitResistance\tunitOutputCap\tg\tp\n";
  for (const auto& [name, key] : rows) {
    double cin = uniform(0.002, 0.03);
    double r = uniform(0.8e-10, 4e-10);
    double cout = uniform(0.002, 0.4);
    if (options.wideLibrary) {
      cin = std::pow(10.0, uniform(-11.0, -1.0));
      r = std::pow(10.0, uniform(-12.0, -5.0));
      cout = pick(0, 3) == 0 ? 0.0 : std::pow(10.0, uniform(-4.0, 0.0));
    }
    circuit.library += name + "\t" + std::to_string(key) + "\t" + Exact(cin) + "\t" + Exact(r) +
                       "\t" + Exact(cout) + "\t1\t1\n";
  }

  // Nodes in creation order (a topological order); drivers are chosen among earlier nodes.
  struct Node {
    bool po = false;
    std::string type = "pri";
    std::vector<int> drivers;  // creation indices
    int fanOut = 0;
  };
  const int priCount = pick(2, 5);
  std::vector<Node> nodes(priCount);
  const int gateCount = pick(3, options.maxGates);
  for (int k = 0; k < gateCount; ++k) {
    Node gate;
    const int fanIns = pick(1, 5);
    std::vector<const char*> fitting;
    for (const auto& [name, keys] : types) {
      if (std::find(keys.begin(), keys.end(), fanIns) != keys.end()) fitting.push_back(name);
    }
    gate.type = fitting[pick(0, static_cast<int>(fitting.size()) - 1)];
    const int available = static_cast<int>(nodes.size());
    for (int pin = 0; pin < fanIns; ++pin) {
      int driver;
      if (pin > 0 && pick(0, 3) == 0) {
        driver = gate.drivers.back();  // the same driver on a second pin
      } else if (pick(0, 2) == 0) {
        driver = pick(std::max(0, available - 3), available - 1);  // a recent node: deep paths
      } else {
        driver = pick(0, available - 1);
      }
      gate.drivers.push_back(driver);
      ++nodes[driver].fanOut;
    }
    nodes.push_back(gate);
  }
  if (pick(0, 1) == 0) nodes.emplace_back();  // a primary input that drives nothing

  // Primary outputs: random gates, at least one, and one that also drives gates when any does.
  std::vector<int> driving;
  for (int k = priCount; k < priCount + gateCount; ++k) {
    if (pick(0, 9) < 3) nodes[k].po = true;
    if (nodes[k].fanOut > 0) driving.push_back(k);
  }
  if (!driving.empty()) nodes[driving[pick(0, static_cast<int>(driving.size()) - 1)]].po = true;
  int outputs = static_cast<int>(
      std::count_if(nodes.begin(), nodes.end(), [](const Node& node) { return node.po; }));
  if (outputs == 0) {
    nodes[priCount + gateCount - 1].po = true;
    outputs = 1;
  }

  // Shuffled ids.
  const int n = static_cast<int>(nodes.size());
  std::vector<int> idOf(n);
  std::vector<int> atId(n);
  for (int k = 0; k < n; ++k) idOf[k] = k + 1;
  std::shuffle(idOf.begin(), idOf.end(), rng);
  for (int k = 0; k < n; ++k) atId[idOf[k] - 1] = k;

  int headerOutputs = outputs;
  if (!options.exactOutputCount) {
    const int choice = pick(0, 9);
    if (choice < 2) headerOutputs = 0;
    if (choice >= 2 && choice < 4) headerOutputs = pick(1, outputs + 2);
  }
  circuit.gateCount = gateCount;
  circuit.netlist = std::to_string(gateCount) + " " + std::to_string(pick(0, 9)) + " " +
                    std::to_string(pick(0, 9)) + " " + std::to_string(headerOutputs) + " " +
                    std::to_string(n) + "\n";
  for (int id = 1; id <= n; ++id) {
    const Node& node = nodes[atId[id - 1]];
    circuit.netlist += (node.po ? "po " : "") + node.type + " " + std::to_string(node.fanOut) +
                       " " + std::to_string(node.drivers.size());
    for (int driver : node.drivers) {
      circuit.netlist += " " + std::to_string(idOf[driver]) + " " + std::to_string(pick(0, 3)) +
                         (pick(0, 1) == 0 ? " 0" : " 1.5");
    }
    circuit.netlist += "\n";
  }
  return circuit;
}

// ---- Helpers ----------------------------------------------------------------------------------

static std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}
std::string FormatG(double value) { return Format("%g", value); }
std::string Exact(double value) { return Format("%.17g", value); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string ExpectedLog(const LdpRun& run) {
  std::string text = "Lower Bound\tUpper Bound\n===========\t===========\n";
  for (const auto& line : run.log) text += FormatG(line.lower) + "\t" + FormatG(line.upper) + "\n";
  return text;
}

std::unique_ptr<CNetlist> LoadCircuit(const std::string& libraryPath,
                                      const std::string& netlistPath, double innerImprove,
                                      double outerImprove) {
  auto netlist = std::make_unique<CNetlist>();
  netlist->innerImprove = innerImprove;
  netlist->outerImprove = outerImprove;
  testing::internal::CaptureStdout();
  netlist->BuildDB(libraryPath.c_str());
  netlist->InputNetlist(netlistPath.c_str());
  testing::internal::GetCapturedStdout();
  return netlist;
}

ReferenceOptimizer ReferenceFor(const CNetlist& netlist) {
  return ReferenceOptimizer(netlist.parts, netlist.outputCount, netlist.innerImprove,
                            netlist.outerImprove);
}

void InDirectory(const std::string& path, const std::function<void()>& body) {
  char previous[PATH_MAX];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(path.c_str()), 0) << path;
  body();
  EXPECT_EQ(::chdir(previous), 0) << previous;
}

}  // namespace tambril_reference
