#include "reference_optimizer.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>

#include "gtest/gtest.h"

namespace tambril_reference {

namespace {

bool IsInput(const CGate& gate) { return std::strcmp(gate.name, "Input") == 0; }
bool IsOutput(const CGate& gate) { return std::strcmp(gate.name, "Output") == 0; }
bool IsPri(const CGate& gate) { return std::strcmp(gate.name, "pri") == 0; }
bool IsGate(const CGate& gate) { return !IsInput(gate) && !IsOutput(gate) && !IsPri(gate); }

// max and min as the clamp uses them: max(a, b) = b if a < b else a; min(a, b) = b if b < a
// else a.
double ClampMax(double a, double b) { return a < b ? b : a; }
double ClampMin(double a, double b) { return b < a ? b : a; }

// Kahn's algorithm over the fan-in lists: a node is placed once all its drivers are.
std::vector<int> DriversFirst(const std::vector<PartType>& nodes) {
  const int n = static_cast<int>(nodes.size());
  std::vector<int> waiting(n);
  std::deque<int> ready;
  for (int k = 0; k < n; ++k) {
    waiting[k] = static_cast<int>(nodes[k].fanIns.size());
    if (waiting[k] == 0) ready.push_back(k + 1);
  }
  std::vector<int> order;
  while (!ready.empty()) {
    const int id = ready.front();
    ready.pop_front();
    order.push_back(id);
    for (const PartInfo& out : nodes[id - 1].fanOuts) {
      if (--waiting[out.node - 1] == 0) ready.push_back(out.node);
    }
  }
  return order;
}

}  // namespace

double Maximum(const std::vector<double>& values) {
  if (values.empty()) return 0.0;
  double best = values[0];
  for (double value : values) {
    if (value > best) best = value;
  }
  return best;
}

double RelativeGap(double lower, double upper) {
  const double total = upper + lower;
  return std::fabs(upper / total - lower / total);
}

ReferenceOptimizer::ReferenceOptimizer(std::vector<PartType> nodes, int outputs, double inner,
                                       double outer)
    : parts(std::move(nodes)), outputCount(outputs), innerImprove(inner), outerImprove(outer) {
  forwardOrder = DriversFirst(parts);
  reverseOrder.assign(forwardOrder.rbegin(), forwardOrder.rend());
}

void ReferenceOptimizer::ComputeArrivalTime() {
  for (int id : forwardOrder) {
    PartType& v = parts[id - 1];
    for (const PartInfo& in : v.fanIns) {
      const CGate& d = Node(in.node);
      v.gate.inputArrivals[in.pin] = Maximum(d.inputArrivals) + d.delay;
    }
  }
}

void ReferenceOptimizer::IntializeLM() {
  for (int id : reverseOrder) {
    PartType& v = parts[id - 1];
    CGate& g = v.gate;
    if (IsOutput(g)) {
      const int count = outputCount > 0 ? outputCount : static_cast<int>(v.fanIns.size());
      g.lambdaSum = 0.0;
      for (double& lambda : g.lambdas) {
        lambda = 1.0 / count;
        g.lambdaSum += lambda;
      }
    } else {
      double s = 0.0;
      for (const PartInfo& out : v.fanOuts) s += Node(out.node).lambdas[out.pin];
      g.lambdaSum = 0.0;
      for (double& lambda : g.lambdas) {
        lambda = s / g.fanInCount;
        g.lambdaSum += lambda;
      }
    }
  }
}

void ReferenceOptimizer::UpdateLM() {
  for (int id : reverseOrder) {
    PartType& v = parts[id - 1];
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
    g.lambdaSum = 0.0;
    if (F == 0.0 || a == 0.0 || S == 0.0) {
      for (double& lambda : lam) {
        lambda = F / g.fanInCount;
        g.lambdaSum += lambda;
      }
    } else {
      const double r = F / S;
      for (size_t n = 0; n < lam.size(); ++n) {
        lam[n] = (((arr[n] + g.delay) * lam[n]) / a) * r;
        g.lambdaSum += lam[n];
      }
    }
  }
}

void ReferenceOptimizer::LoadStep(std::vector<PartType>& values, int id) const {
  PartType& v = values[id - 1];
  CGate& g = v.gate;
  if (g.isPrimaryOutput) {
    double load = 0.0;
    for (const PartInfo& out : v.fanOuts) {
      const CGate& r = values[out.node - 1].gate;
      load += IsOutput(r) ? r.unitInputCap : r.unitInputCap * r.size;
    }
    load += g.unitOutputCap * g.size;
    g.loadCap = load;
  } else if (IsInput(g) || IsOutput(g)) {
    return;
  } else if (IsPri(g)) {
    double load = 0.0;
    for (const PartInfo& out : v.fanOuts) {
      const CGate& r = values[out.node - 1].gate;
      load += r.unitInputCap * r.size;
    }
    g.loadCap = load;
  } else {
    double load = g.unitOutputCap * g.size;
    for (const PartInfo& out : v.fanOuts) {
      const CGate& r = values[out.node - 1].gate;
      load += r.unitInputCap * r.size;
    }
    g.loadCap = load;
  }
}

void ReferenceOptimizer::LoadSweep(std::vector<PartType>& values) const {
  for (int id : reverseOrder) LoadStep(values, id);
}

void ReferenceOptimizer::ResizeStep(std::vector<PartType>& values, int id) const {
  PartType& v = values[id - 1];
  CGate& g = v.gate;
  double up = 0.0;
  for (const PartInfo& in : v.fanIns) {
    const CGate& u = values[in.node - 1].gate;
    if (IsPri(u)) {
      up += u.lambdaSum * u.unitResistance;
    } else if (IsInput(u)) {
      // adds nothing
    } else {
      up += (u.unitResistance / u.size) * u.lambdaSum;
    }
  }
  g.upstreamResistance = up;
  const double q = (g.lambdaSum * g.unitResistance) * (g.loadCap - g.size * g.unitOutputCap) /
                   (g.unitInputCap * up);
  const double x = std::sqrt(q);
  g.size = ClampMin(g.maxSize, ClampMax(g.minSize, x));
}

void ReferenceOptimizer::ResizeSweep(std::vector<PartType>& values) const {
  for (int id : forwardOrder) {
    if (IsGate(values[id - 1].gate)) ResizeStep(values, id);
  }
}

double ReferenceOptimizer::ComputeLu(std::vector<PartType>& values) const {
  double sum = 0.0;
  for (PartType& part : values) {
    CGate& g = part.gate;
    if (IsInput(g) || IsOutput(g)) continue;
    if (IsPri(g)) {
      g.delay = g.unitResistance * g.loadCap;
    } else {
      g.delay = (g.unitResistance / g.size) * g.loadCap;
    }
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
    const double s = cur + previous;
    const double change = std::fabs(cur / s - previous / s);
    if (!(change > innerImprove)) return;
    parts = std::move(trial);
    previous = cur;
    lowerBound = cur;
  }
}

LdpRun ReferenceOptimizer::SolveLDP() {
  LdpRun run;
  run.iterations = 1;
  IntializeLM();
  SolveLRSuHelper();
  lowerBound = ComputeLu(parts);
  ComputeArrivalTime();
  UpdateLM();
  run.log.push_back({lowerBound, maxDelay});
  ++run.dots;
  for (int pass = 1; pass <= kMaxOuterPasses; ++pass) {
    SolveLRSu();
    ComputeArrivalTime();
    UpdateLM();
    ++run.dots;
    ++run.iterations;
    run.log.push_back({lowerBound, maxDelay});
    const double t = maxDelay + lowerBound;
    const double gap = std::fabs(maxDelay / t - lowerBound / t);
    if (!(gap > outerImprove)) break;
  }
  SolveLRSu();
  ComputeArrivalTime();
  UpdateLM();
  ++run.dots;
  run.log.push_back({lowerBound, maxDelay});
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

std::string FormatG(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

// ---- Circuit generators ----------------------------------------------------------------------

namespace {

struct LibraryType {
  const char* name;
  std::vector<int> keys;
};

// INV has one key; NAND and NOR several, so a gate's row depends on its fan-in count.
const std::vector<LibraryType>& LibraryTypes() {
  static const std::vector<LibraryType> types = {
      {"INV", {1}}, {"NAND", {1, 2, 3, 4, 5}}, {"NOR", {2, 3, 4, 5}}, {"AOI", {3}}};
  return types;
}

std::string Exact(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

}  // namespace

RandomCircuit MakeRandomCircuit(std::mt19937_64& rng, const RandomCircuitOptions& options) {
  RandomCircuit circuit;
  auto uniform = [&rng](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng);
  };
  auto pick = [&rng](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
  };

  // Library: every row of every type, in random order.
  std::vector<std::pair<std::string, int>> rows;
  for (const LibraryType& type : LibraryTypes()) {
    for (int key : type.keys) rows.emplace_back(type.name, key);
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
    bool pri = false;
    bool po = false;
    std::string type;
    std::vector<int> drivers;  // creation indices
    int fanOut = 0;
  };
  std::vector<Node> nodes;
  const int priCount = pick(2, 5);
  for (int k = 0; k < priCount; ++k) nodes.push_back(Node{true, false, "pri", {}, 0});
  const int gateCount = pick(options.minGates, options.maxGates);
  for (int k = 0; k < gateCount; ++k) {
    Node gate;
    const int fanIns = pick(1, 5);
    std::vector<const LibraryType*> fitting;
    for (const LibraryType& type : LibraryTypes()) {
      if (std::find(type.keys.begin(), type.keys.end(), fanIns) != type.keys.end()) {
        fitting.push_back(&type);
      }
    }
    gate.type = fitting[pick(0, static_cast<int>(fitting.size()) - 1)]->name;
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
  // Sometimes a primary input that drives nothing.
  if (pick(0, 1) == 0) nodes.push_back(Node{true, false, "pri", {}, 0});

  // Primary outputs: random gates, at least one, and one that also drives gates when any does.
  int firstGate = priCount;
  int outputs = 0;
  for (int k = firstGate; k < firstGate + gateCount; ++k) {
    if (pick(0, 9) < 3) {
      nodes[k].po = true;
      ++outputs;
    }
  }
  std::vector<int> driving;
  for (int k = firstGate; k < firstGate + gateCount; ++k) {
    if (nodes[k].fanOut > 0) driving.push_back(k);
  }
  if (!driving.empty()) {
    const int k = driving[pick(0, static_cast<int>(driving.size()) - 1)];
    if (!nodes[k].po) ++outputs;
    nodes[k].po = true;
  }
  if (outputs == 0) {
    nodes[firstGate + gateCount - 1].po = true;
    ++outputs;
  }

  // Shuffled ids.
  const int n = static_cast<int>(nodes.size());
  std::vector<int> idOf(n);
  for (int k = 0; k < n; ++k) idOf[k] = k + 1;
  std::shuffle(idOf.begin(), idOf.end(), rng);
  std::vector<int> atId(n);
  for (int k = 0; k < n; ++k) atId[idOf[k] - 1] = k;

  int headerOutputs = outputs;
  if (!options.exactOutputCount) {
    const int choice = pick(0, 9);
    if (choice < 2) {
      headerOutputs = 0;
    } else if (choice < 4) {
      headerOutputs = pick(1, outputs + 2);
    }
  }
  circuit.gateCount = gateCount;
  circuit.primaryOutputCount = outputs;
  circuit.headerOutputCount = headerOutputs;

  circuit.netlist = std::to_string(gateCount) + " " + std::to_string(pick(0, 9)) + " " +
                    std::to_string(pick(0, 9)) + " " + std::to_string(headerOutputs) + " " +
                    std::to_string(n) + "\n";
  for (int id = 1; id <= n; ++id) {
    const Node& node = nodes[atId[id - 1]];
    std::string line;
    if (node.po) line += "po ";
    line +=
        node.type + " " + std::to_string(node.fanOut) + " " + std::to_string(node.drivers.size());
    for (int driver : node.drivers) {
      line += " " + std::to_string(idOf[driver]) + " " + std::to_string(pick(0, 3)) + " " +
              (pick(0, 1) == 0 ? "0" : "1.5");
    }
    circuit.netlist += line + "\n";
  }
  return circuit;
}

// ---- Plumbing ----------------------------------------------------------------------------------

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

WorkingDirectory::WorkingDirectory(const std::string& path) {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) != nullptr) previous_ = buffer;
  if (::chdir(path.c_str()) != 0) ADD_FAILURE() << "cannot enter " << path;
}

WorkingDirectory::~WorkingDirectory() {
  if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) {
    ADD_FAILURE() << "cannot return to " << previous_;
  }
}

}  // namespace tambril_reference
