// Tests of the optimiser: the multipliers, the resizing subproblem and the outer loop.
//
// Two kinds of evidence:
//  - a differential test against the plain record-based oracle in reference_optimizer.h, step
//    by step and for whole runs, on many random circuits, requiring bit-identical state;
//  - small hand-worked circuits whose every expected number is derived here from the formulas
//    (closed-form optima, multiplier flows, clamps), not read back from the program.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "model/netlist.h"
#include "reference_optimizer.h"
#include "test_support.h"

namespace {

using tambril_reference::FormatG;
using tambril_reference::kCapCircuit;
using tambril_reference::kCapLibrary;
using tambril_reference::LdpRun;
using tambril_reference::LoadCircuit;
using tambril_reference::MakeRandomCircuit;
using tambril_reference::RandomCircuit;
using tambril_reference::RandomCircuitOptions;
using tambril_reference::ReferenceFor;
using tambril_reference::ReferenceOptimizer;
using tambril_reference::RelativeGap;
using tambril_reference::WorkingDirectory;
using tambril_test::ReadFile;
using tambril_test::TempDir;
using tambril_test::WriteFile;

// Constants of the program, as its documentation states them.
const double kMinSize = 1.69e-14;
const double kMaxSize = 1e-8;
const double kDriverResistance = 5000.0;
const double kOutputLoad = 2.3995 * 1e-15;

// ---- Comparing states --------------------------------------------------------------------------

// Bit-identical, or both not a number.
bool Same(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  std::uint64_t x;
  std::uint64_t y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

std::string Show(double value) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "%.17g (%a)", value, value);
  return buffer;
}

// Every field the optimiser reads or writes, node by node.
testing::AssertionResult SameState(const std::vector<PartType>& program,
                                   const std::vector<PartType>& reference) {
  if (program.size() != reference.size()) {
    return testing::AssertionFailure()
           << "node counts differ: " << program.size() << " vs " << reference.size();
  }
  std::ostringstream report;
  int differences = 0;
  auto compare = [&](int id, const std::string& field, double got, double want) {
    if (Same(got, want)) return;
    if (++differences <= 12) {
      report << "  node " << id << " " << field << ": program " << Show(got) << ", reference "
             << Show(want) << "\n";
    }
  };
  for (size_t k = 0; k < program.size(); ++k) {
    const CGate& a = program[k].gate;
    const CGate& b = reference[k].gate;
    const int id = static_cast<int>(k) + 1;
    compare(id, "size", a.size, b.size);
    compare(id, "loadCap", a.loadCap, b.loadCap);
    compare(id, "upstreamResistance", a.upstreamResistance, b.upstreamResistance);
    compare(id, "delay", a.delay, b.delay);
    compare(id, "lambdaSum", a.lambdaSum, b.lambdaSum);
    if (a.lambdas.size() != b.lambdas.size() || a.inputArrivals.size() != b.inputArrivals.size()) {
      ++differences;
      report << "  node " << id << ": pin counts differ\n";
      continue;
    }
    for (size_t pin = 0; pin < a.lambdas.size(); ++pin) {
      compare(id, "lambdas[" + std::to_string(pin) + "]", a.lambdas[pin], b.lambdas[pin]);
      compare(id, "inputArrivals[" + std::to_string(pin) + "]", a.inputArrivals[pin],
              b.inputArrivals[pin]);
    }
  }
  if (differences == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differences << " field(s) differ:\n" << report.str();
}

testing::AssertionResult SameBounds(const CNetlist& program, const ReferenceOptimizer& reference) {
  if (Same(program.lowerBound, reference.lowerBound) &&
      Same(program.maxDelay, reference.maxDelay)) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << "lowerBound program " << Show(program.lowerBound) << " reference "
         << Show(reference.lowerBound) << "; maxDelay program " << Show(program.maxDelay)
         << " reference " << Show(reference.maxDelay);
}

// ---- Circuits on disk and in memory -----------------------------------------------------------

// A library and netlist written to a scratch directory and read by the program's readers.
struct Circuit {
  Circuit(const std::string& library, const std::string& netlist, double inner = 5e-6,
          double outer = 0.01) {
    WriteFile(dir.File("param.txt"), library);
    WriteFile(dir.File("circuit.net"), netlist);
    net = LoadCircuit(dir.File("param.txt"), dir.File("circuit.net"), inner, outer);
  }

  // The optimiser's state, written into the records.
  const CGate& Gate(int id) {
    net->CopyStateToParts();
    return net->parts[id - 1].gate;
  }
  int InputId() const { return static_cast<int>(net->parts.size()) - 1; }
  int OutputId() const { return static_cast<int>(net->parts.size()); }

  TempDir dir;
  std::unique_ptr<CNetlist> net;
};

// The program's ComputeLu applied to its own state, as the outer loop's first pass does: the
// delays it writes are moved back into the optimiser through the records.
double ProgramComputeLu(CNetlist& net) {
  NodeValues values = net.Values();
  const double value = net.ComputeLu(values);
  net.CopyStateToParts();
  const TimingGraph& graph = net.Graph();
  for (int p = 0; p < graph.NodeCount(); ++p) {
    net.parts[graph.idAt[p] - 1].gate.delay = values.delay[p];
  }
  net.LoadStateFromParts();
  return value;
}

struct ProgramRun {
  std::string out;  // standard output of SolveLDP
  std::string log;  // convergence.txt
};

// The program's whole outer loop, in the circuit's scratch directory.
ProgramRun RunSolveLDP(Circuit& circuit) {
  ProgramRun run;
  {
    WorkingDirectory here(circuit.dir.path());
    testing::internal::CaptureStdout();
    circuit.net->SolveLDP();
    run.out = testing::internal::GetCapturedStdout();
  }
  run.log = ReadFile(circuit.dir.File("convergence.txt"));
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream stream(text);
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

// The count in "Total number of iteration: N", -1 when absent.
int PrintedIterations(const std::string& out) {
  const std::string key = "Total number of iteration: ";
  const size_t at = out.find(key);
  if (at == std::string::npos) return -1;
  return std::atoi(out.c_str() + at + key.size());
}

std::string ExpectedLoopOutput(int iterations) {
  return std::string(iterations + 1, '.') +
         " Done!\nTotal number of iteration: " + std::to_string(iterations) + "\n\n";
}

std::string ExpectedLog(const LdpRun& run) {
  std::string text = "Lower Bound\tUpper Bound\n===========\t===========\n";
  for (const auto& line : run.log) text += FormatG(line.lower) + "\t" + FormatG(line.upper) + "\n";
  return text;
}

// Relative closeness for hand-derived values whose operation order differs from the program's.
testing::AssertionResult Near(double got, double want, double relative) {
  if (std::fabs(got - want) <= relative * std::fabs(want)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "got " << Show(got) << ", want " << Show(want)
                                     << " (relative tolerance " << relative << ")";
}

const char kLibraryHeader[] = "type\tinputs\tunitInputCap\tunitResistance\tunitOutputCap\tg\tp\n";

// Library constants of the hand-worked circuits.
const double kInvCin = 0.01;
const double kInvR = 1.7e-10;
const double kInvCout = 0.01;

std::string HandLibrary() {
  return std::string(kLibraryHeader) +
         "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
         "NAND\t2\t0.015\t1.7e-10\t0.02\t1\t1\n"
         "NAND\t3\t0.02\t1.7e-10\t0.03\t1\t1\n";
}

std::string Number(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

std::string InverterLibrary(double cin, double r, double cout) {
  return std::string(kLibraryHeader) + "INV\t1\t" + Number(cin) + "\t" + Number(r) + "\t" +
         Number(cout) + "\t1\t1\n";
}

// One primary input driving one inverter that is the primary output.
const char kSingleInverter[] =
    "1 0 0 1 2\n"
    "pri 1 0\n"
    "po INV 0 1 1 0 0\n";

// pri -> g1 -> g2 (primary output).
const char kChain[] =
    "2 0 0 1 3\n"
    "pri 1 0\n"
    "INV 1 1 1 0 0\n"
    "po INV 0 1 2 0 0\n";

// Three primary inputs into a 3-input gate G (id 4) that drives R1 (id 5, primary output) and
// R2 (id 6), which drives two primary outputs (ids 7, 8). The header counts 5 outputs.
const char kReconvergent[] =
    "5 0 0 5 8\n"
    "pri 1 0\n"
    "pri 1 0\n"
    "pri 1 0\n"
    "NAND 2 3 1 0 0 2 0 0 3 0 0\n"
    "po INV 0 1 4 0 0\n"
    "INV 2 1 4 0 0\n"
    "po INV 0 1 6 0 0\n"
    "po INV 0 1 6 0 0\n";

std::string WithOutputCount(const std::string& netlist, int outputs) {
  std::istringstream header(netlist.substr(0, netlist.find('\n')));
  int values[5];
  for (int& value : values) header >> value;
  values[3] = outputs;
  std::string line;
  for (int value : values) line += (line.empty() ? "" : " ") + std::to_string(value);
  return line + netlist.substr(netlist.find('\n'));
}

// ---- Differential tests
// ---------------------------------------------------------------------------

struct Thresholds {
  double inner;
  double outer;
};

const Thresholds kThresholdSets[] = {{5e-6, 0.01}, {1e-3, 0.05}, {0.0, 0.002}, {1e-5, 1e-4}};

TEST(OptimizerDifferential, EveryStepMatchesTheReferenceBitForBit) {
  std::mt19937_64 rng(20240611);
  for (int sample = 0; sample < 40; ++sample) {
    RandomCircuitOptions options;
    options.wideLibrary = sample % 3 == 2;
    const RandomCircuit random = MakeRandomCircuit(rng, options);
    const Thresholds thresholds = kThresholdSets[sample % 4];
    SCOPED_TRACE("sample " + std::to_string(sample) + "\n" + random.netlist + random.library);
    Circuit circuit(random.library, random.netlist, thresholds.inner, thresholds.outer);
    CNetlist& net = *circuit.net;
    ReferenceOptimizer reference = ReferenceFor(net);

    auto check = [&](const std::string& step) {
      SCOPED_TRACE("after " + step);
      net.CopyStateToParts();
      EXPECT_TRUE(SameState(net.parts, reference.parts));
      EXPECT_TRUE(SameBounds(net, reference));
    };
    check("reading");
    net.IntializeLM();
    reference.IntializeLM();
    check("IntializeLM");
    net.SolveLRSuHelper();
    reference.SolveLRSuHelper();
    check("SolveLRSuHelper");
    const double programLu = ProgramComputeLu(net);
    const double referenceLu = reference.ComputeLu(reference.parts);
    EXPECT_TRUE(Same(programLu, referenceLu)) << Show(programLu) << " vs " << Show(referenceLu);
    net.lowerBound = programLu;
    reference.lowerBound = referenceLu;
    check("ComputeLu");
    net.ComputeArrivalTime();
    reference.ComputeArrivalTime();
    check("ComputeArrivalTime");
    net.UpdateLM();
    reference.UpdateLM();
    check("UpdateLM");
    for (int pass = 1; pass <= 4; ++pass) {
      const std::string suffix = " (pass " + std::to_string(pass) + ")";
      net.SolveLRSu();
      reference.SolveLRSu();
      check("SolveLRSu" + suffix);
      net.ComputeArrivalTime();
      reference.ComputeArrivalTime();
      check("ComputeArrivalTime" + suffix);
      net.UpdateLM();
      reference.UpdateLM();
      check("UpdateLM" + suffix);
    }
    if (testing::Test::HasFailure()) return;  // one circuit's report is enough
  }
}

TEST(OptimizerDifferential, WholeRunMatchesTheReference) {
  std::mt19937_64 rng(77);
  for (int sample = 0; sample < 40; ++sample) {
    RandomCircuitOptions options;
    options.maxGates = sample % 5 == 0 ? 60 : 20;
    options.wideLibrary = sample % 3 == 2;
    const RandomCircuit random = MakeRandomCircuit(rng, options);
    const Thresholds thresholds = kThresholdSets[sample % 4];
    SCOPED_TRACE("sample " + std::to_string(sample) + "\n" + random.netlist + random.library);
    Circuit circuit(random.library, random.netlist, thresholds.inner, thresholds.outer);
    ReferenceOptimizer reference = ReferenceFor(*circuit.net);

    const ProgramRun program = RunSolveLDP(circuit);
    const LdpRun expected = reference.SolveLDP();

    // SolveLDP leaves its final state in the records itself.
    EXPECT_TRUE(SameState(circuit.net->parts, reference.parts));
    EXPECT_TRUE(SameBounds(*circuit.net, reference));
    EXPECT_EQ(program.out, ExpectedLoopOutput(expected.iterations));
    EXPECT_EQ(program.log, ExpectedLog(expected));
    // The count printed, the log lines and the dots agree.
    EXPECT_EQ(static_cast<int>(expected.log.size()), expected.iterations + 1);
    EXPECT_EQ(expected.dots, expected.iterations + 1);
    EXPECT_EQ(Lines(program.log).size(), static_cast<size_t>(PrintedIterations(program.out) + 3));
    if (testing::Test::HasFailure()) return;
  }
}

TEST(OptimizerDifferential, WalkOrdersAreTopological) {
  std::mt19937_64 rng(5);
  for (int sample = 0; sample < 10; ++sample) {
    const RandomCircuit random = MakeRandomCircuit(rng, RandomCircuitOptions{});
    SCOPED_TRACE(random.netlist);
    Circuit circuit(random.library, random.netlist);
    const CNetlist& net = *circuit.net;
    const size_t n = net.parts.size();
    ASSERT_EQ(net.forwardOrder.size(), n);
    ASSERT_EQ(net.reverseOrder.size(), n);
    std::vector<int> place(n + 1, -1);
    for (size_t k = 0; k < n; ++k) {
      place[net.forwardOrder[k]] = static_cast<int>(k);
      EXPECT_EQ(net.reverseOrder[n - 1 - k], net.forwardOrder[k]);
    }
    for (const PartType& part : net.parts) {
      for (const PartInfo& in : part.fanIns) {
        EXPECT_LT(place[in.node], place[part.gate.id]) << in.node << " -> " << part.gate.id;
      }
    }
  }
}

// ---- A single inverter: the closed-form optimum ------------------------------------------------

// With one path every multiplier is 1, so the inverter minimises
//   5000 * Cin * s + (R / s) * (Cload + Cout * s)
// whose root is s = sqrt(R * Cload / (Cin * 5000)), then clamped to [minSize, maxSize].
TEST(SingleInverter, SizeIsTheClosedFormOptimumClamped) {
  struct Case {
    const char* name;
    double cin, r, cout;
    int where;  // -1 below the lower bound, 0 between, +1 above the upper bound
  };
  const Case cases[] = {
      {"root between the bounds", 0.01, 1.7e-10, 0.01, 0},
      {"root below minSize", 10.0, 1.7e-10, 0.01, -1},
      {"root above maxSize", 0.01, 1e5, 0.01, +1},
      {"another root between the bounds", 0.003, 3e-10, 0.2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Circuit circuit(InverterLibrary(c.cin, c.r, c.cout), kSingleInverter, 1e300);
    CNetlist& net = *circuit.net;
    const double root = std::sqrt(c.r * kOutputLoad / (c.cin * kDriverResistance));
    ASSERT_EQ(c.where < 0, root < kMinSize);
    ASSERT_EQ(c.where > 0, root > kMaxSize);
    const double size = c.where < 0 ? kMinSize : c.where > 0 ? kMaxSize : root;

    net.IntializeLM();
    for (int id : {1, 2, 4}) {
      EXPECT_EQ(circuit.Gate(id).lambdas, std::vector<double>{1.0}) << "node " << id;
      EXPECT_EQ(circuit.Gate(id).lambdaSum, 1.0) << "node " << id;
    }
    net.SolveLRSuHelper();
    EXPECT_EQ(circuit.Gate(2).size, kMinSize);
    EXPECT_TRUE(Near(circuit.Gate(2).loadCap, kOutputLoad + c.cout * kMinSize, 1e-15));
    EXPECT_TRUE(Near(circuit.Gate(1).loadCap, c.cin * kMinSize, 1e-15));

    // A huge inner threshold keeps the first sweep only.
    net.SolveLRSu();
    const CGate& inverter = circuit.Gate(2);
    EXPECT_EQ(inverter.upstreamResistance, kDriverResistance);
    if (c.where == 0) {
      EXPECT_TRUE(Near(inverter.size, size, 1e-12));
    } else {
      EXPECT_EQ(inverter.size, size);
    }
    const double priDelay = kDriverResistance * c.cin * size;
    const double gateDelay = (c.r / size) * (kOutputLoad + c.cout * size);
    EXPECT_TRUE(Near(circuit.Gate(1).delay, priDelay, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(2).delay, gateDelay, 1e-12));
    EXPECT_TRUE(Near(net.lowerBound, priDelay + gateDelay, 1e-12));
    net.ComputeArrivalTime();
    net.UpdateLM();
    EXPECT_TRUE(Near(net.maxDelay, priDelay + gateDelay, 1e-12));
    EXPECT_EQ(circuit.Gate(circuit.OutputId()).lambdas, std::vector<double>{1.0});
  }
}

TEST(SingleInverter, WholeRunStopsAfterOnePassAtTheOptimum) {
  Circuit circuit(HandLibrary(), kSingleInverter);
  const ProgramRun run = RunSolveLDP(circuit);
  // One path: the Lagrangian is the path delay itself, so the gap is 0 after the first pass.
  EXPECT_EQ(run.out, ExpectedLoopOutput(2));
  const double root = std::sqrt(kInvR * kOutputLoad / (kInvCin * kDriverResistance));
  EXPECT_TRUE(Near(circuit.net->parts[1].gate.size, root, 1e-12));
  const double delay =
      kDriverResistance * kInvCin * root + (kInvR / root) * (kOutputLoad + kInvCout * root);
  EXPECT_TRUE(Near(circuit.net->maxDelay, delay, 1e-12));
  EXPECT_TRUE(Near(circuit.net->lowerBound, delay, 1e-12));
}

// ---- A chain: pri -> g1 -> g2 -------------------------------------------------------------------

// All multipliers are 1. A resize sweep gives
//   s1 = sqrt(R * (Cin * s2) / (Cin * 5000)) = sqrt(R * s2 / 5000)      (driver: pri, weight 5000)
//   s2 = sqrt(R * Cload / (Cin * R / s1)) = sqrt(Cload * s1 / Cin)      (driver: g1 at its new s1)
// and the fixed point is s1^3 = R^2 * Cload / (Cin * 5000^2), s2 = 5000 * s1^2 / R.
TEST(Chain, FirstSweepAndConvergedSizes) {
  const double r = kInvR;
  const double cin = kInvCin;
  const double cout = kInvCout;
  auto lagrangian = [&](double s1, double s2) {
    return kDriverResistance * cin * s1 + (r / s1) * (cout * s1 + cin * s2) +
           (r / s2) * (kOutputLoad + cout * s2);
  };
  {
    SCOPED_TRACE("one sweep");
    Circuit circuit(HandLibrary(), kChain, 1e300);
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.SolveLRSu();
    const double s1 = std::sqrt(r * kMinSize / kDriverResistance);
    const double s2 = std::sqrt(kOutputLoad * s1 / cin);
    EXPECT_TRUE(Near(circuit.Gate(2).size, s1, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(3).size, s2, 1e-12));
    EXPECT_EQ(circuit.Gate(2).upstreamResistance, kDriverResistance);
    EXPECT_TRUE(Near(circuit.Gate(3).upstreamResistance, r / s1, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(1).loadCap, cin * s1, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(2).loadCap, cout * s1 + cin * s2, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(3).loadCap, kOutputLoad + cout * s2, 1e-12));
    EXPECT_TRUE(Near(net.lowerBound, lagrangian(s1, s2), 1e-12));
  }
  {
    SCOPED_TRACE("converged");
    Circuit circuit(HandLibrary(), kChain, 0.0);
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.SolveLRSu();
    const double s1 =
        std::cbrt(r * r * kOutputLoad / (cin * kDriverResistance * kDriverResistance));
    const double s2 = kDriverResistance * s1 * s1 / r;
    ASSERT_GT(s1, kMinSize);
    ASSERT_LT(s2, kMaxSize);
    // The Lagrangian is flat at the optimum: the sizes settle to about the square root of the
    // rounding error, the value to the rounding error.
    EXPECT_TRUE(Near(circuit.Gate(2).size, s1, 1e-6));
    EXPECT_TRUE(Near(circuit.Gate(3).size, s2, 1e-6));
    EXPECT_TRUE(Near(net.lowerBound, lagrangian(s1, s2), 1e-12));
    // Equal stage efforts: each stage's R * load / size is the same (the delay of each stage
    // without its parasitic part).
    const double stage0 = kDriverResistance * cin * s1;
    const double stage1 = (r / s1) * cin * s2;
    const double stage2 = (r / s2) * kOutputLoad;
    EXPECT_TRUE(Near(stage1, stage0, 1e-6));
    EXPECT_TRUE(Near(stage2, stage0, 1e-6));
  }
}

// ---- Multipliers ------------------------------------------------------------------------------

// A two-input gate with pin arrivals 3 ns and 5 ns, delay 1 ns, multipliers 0.5 / 0.5 and a
// fan-out flow of 1: arrival 6 ns, pin shares (4 * 0.5) / 6 = 1/3 and (6 * 0.5) / 6 = 1/2,
// S = 5/6, so the new multipliers are 1/3 * 6/5 = 0.4 and 1/2 * 6/5 = 0.6.
TEST(UpdateLM, UnequalPinArrivalsShiftTheFlowToTheLaterPin) {
  Circuit circuit(HandLibrary(),
                  "1 0 0 1 3\n"
                  "pri 1 0\n"
                  "pri 1 0\n"
                  "po NAND 0 2 1 0 0 2 0 0\n");
  CNetlist& net = *circuit.net;
  net.CopyStateToParts();
  std::vector<PartType>& parts = net.parts;
  CGate& gate = parts[2].gate;
  gate.inputArrivals = {3e-9, 5e-9};
  gate.delay = 1e-9;
  gate.lambdas = {0.5, 0.5};
  gate.lambdaSum = 1.0;
  CGate& output = parts[4].gate;
  output.inputArrivals = {6e-9};
  output.lambdas = {1.0};
  output.delay = 0.0;
  // The two primary inputs: their delays make the gate's pin arrivals.
  parts[0].gate.delay = 3e-9;
  parts[0].gate.lambdas = {1.0};
  parts[1].gate.delay = 5e-9;
  parts[1].gate.lambdas = {1.0};
  net.LoadStateFromParts();

  net.UpdateLM();
  EXPECT_EQ(net.maxDelay, 6e-9);
  EXPECT_EQ(circuit.Gate(5).lambdas, std::vector<double>{1.0});
  EXPECT_TRUE(Near(circuit.Gate(3).lambdas[0], 0.4, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(3).lambdas[1], 0.6, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(3).lambdaSum, 1.0, 1e-15));
  // Each primary input passes on the flow of its pin (one pin, so the share is 1).
  EXPECT_TRUE(Near(circuit.Gate(1).lambdas[0], 0.4, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(2).lambdas[0], 0.6, 1e-15));
}

// Where the proportional update would divide 0 by 0, the flow is spread evenly over the pins.
TEST(UpdateLM, DegenerateNodesSpreadTheFlowEvenly) {
  const char* twoInputGate =
      "1 0 0 1 3\n"
      "pri 1 0\n"
      "pri 1 0\n"
      "po NAND 0 2 1 0 0 2 0 0\n";
  struct Case {
    const char* name;
    bool zeroMultipliers;  // old multipliers 0, while the receivers pass on a flow of 1
    bool zeroArrival;      // pin arrivals and delay 0
  };
  const Case cases[] = {
      {"multipliers all 0", true, false},
      {"arrival 0", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Circuit circuit(HandLibrary(), twoInputGate);
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.SolveLRSu();
    net.ComputeArrivalTime();
    net.CopyStateToParts();
    CGate& gate = net.parts[2].gate;
    ASSERT_GT(gate.delay, 0.0);
    if (c.zeroMultipliers) {
      gate.lambdas = {0.0, 0.0};
      gate.lambdaSum = 0.0;
    }
    if (c.zeroArrival) {
      gate.inputArrivals = {0.0, 0.0};
      gate.delay = 0.0;
    }
    net.LoadStateFromParts();
    net.UpdateLM();
    // "Output" has one pin: its multiplier is the whole flow, 1.
    EXPECT_EQ(circuit.Gate(5).lambdas, std::vector<double>{1.0});
    EXPECT_EQ(circuit.Gate(3).lambdas, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(circuit.Gate(3).lambdaSum, 1.0);
    EXPECT_EQ(circuit.Gate(1).lambdaSum, 0.5);
    EXPECT_EQ(circuit.Gate(2).lambdaSum, 0.5);
  }
  {
    SCOPED_TRACE("no flow: a gate that drives nothing");
    Circuit circuit(HandLibrary(),
                    "2 0 0 1 3\n"
                    "pri 2 0\n"
                    "po INV 0 1 1 0 0\n"
                    "INV 0 1 1 0 0\n");
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.SolveLRSu();
    net.ComputeArrivalTime();
    net.CopyStateToParts();
    net.parts[2].gate.lambdas = {0.7};
    net.parts[2].gate.lambdaSum = 0.7;
    net.LoadStateFromParts();
    net.UpdateLM();
    EXPECT_EQ(circuit.Gate(3).lambdas, std::vector<double>{0.0});
    EXPECT_EQ(circuit.Gate(3).lambdaSum, 0.0);
    // The primary input now carries only the flow of the primary output.
    EXPECT_EQ(circuit.Gate(1).lambdaSum, 1.0);
  }
}

TEST(IntializeLM, FlowIsSplitEvenlyOverPins) {
  // Output: 1/5 per output (header count 5, three outputs present); R1 and the two outputs
  // behind R2 hold 0.2; R2 collects 0.2 + 0.2 = 0.4; G collects 0.2 + 0.4 = 0.6 and splits it
  // over three pins: 0.2 each, sum 0.6; each primary input then holds 0.2.
  Circuit circuit(HandLibrary(), kReconvergent);
  circuit.net->IntializeLM();
  const CGate& output = circuit.Gate(circuit.OutputId());
  ASSERT_EQ(output.lambdas.size(), 3u);
  for (double lambda : output.lambdas) EXPECT_EQ(lambda, 1.0 / 5.0);
  EXPECT_TRUE(Near(output.lambdaSum, 0.6, 1e-15));
  for (int id : {5, 7, 8}) EXPECT_TRUE(Near(circuit.Gate(id).lambdaSum, 0.2, 1e-15)) << id;
  EXPECT_TRUE(Near(circuit.Gate(6).lambdas[0], 0.4, 1e-15));
  const CGate& g = circuit.Gate(4);
  ASSERT_EQ(g.lambdas.size(), 3u);
  for (double lambda : g.lambdas) EXPECT_TRUE(Near(lambda, 0.2, 1e-15));
  EXPECT_TRUE(Near(g.lambdaSum, 0.6, 1e-15));
  for (int id : {1, 2, 3}) EXPECT_TRUE(Near(circuit.Gate(id).lambdaSum, 0.2, 1e-15)) << id;
  EXPECT_EQ(circuit.Gate(circuit.InputId()).lambdaSum, 0.0);
}

std::string ParallelInverters(int count, int headerOutputs) {
  std::string text = std::to_string(count) + " 0 0 " + std::to_string(headerOutputs) + " " +
                     std::to_string(2 * count) + "\n";
  for (int k = 0; k < count; ++k) text += "pri 1 0\n";
  for (int k = 1; k <= count; ++k) text += "po INV 0 1 " + std::to_string(k) + " 0 0\n";
  return text;
}

TEST(IntializeLM, OutputShareComesFromTheHeaderCount) {
  struct Case {
    int outputs;
    int header;
    double share;
    double sum;
  };
  const Case cases[] = {
      {4, 4, 0.25, 1.0},  // four of four
      {2, 4, 0.25, 0.5},  // two present, four announced: the flow starts at 0.5
      {3, 0, 1.0 / 3.0, 1.0 / 3.0 + 1.0 / 3.0 + 1.0 / 3.0},  // no count: the outputs present
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.outputs) + " outputs, header " + std::to_string(c.header));
    Circuit circuit(HandLibrary(), ParallelInverters(c.outputs, c.header));
    circuit.net->IntializeLM();
    const CGate& output = circuit.Gate(circuit.OutputId());
    ASSERT_EQ(output.lambdas.size(), static_cast<size_t>(c.outputs));
    for (double lambda : output.lambdas) EXPECT_EQ(lambda, c.share);
    EXPECT_EQ(output.lambdaSum, c.sum);
    for (int id = c.outputs + 1; id <= 2 * c.outputs; ++id) {
      EXPECT_EQ(circuit.Gate(id).lambdaSum, c.share) << "gate " << id;
    }
  }
}

TEST(UpdateLM, BringsTheOutputFlowToOne) {
  {
    SCOPED_TRACE("two equal outputs, header count 4");
    Circuit circuit(HandLibrary(), ParallelInverters(2, 4));
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    EXPECT_EQ(circuit.Gate(circuit.OutputId()).lambdaSum, 0.5);
    net.SolveLRSuHelper();
    net.SolveLRSu();
    net.ComputeArrivalTime();
    net.UpdateLM();
    // Equal paths, equal arrivals: half of the unit flow each.
    const CGate& output = circuit.Gate(circuit.OutputId());
    EXPECT_TRUE(Near(output.lambdas[0], 0.5, 1e-15));
    EXPECT_TRUE(Near(output.lambdas[1], 0.5, 1e-15));
    EXPECT_TRUE(Near(output.lambdaSum, 1.0, 1e-15));
  }
  {
    SCOPED_TRACE("unequal outputs");
    // Output 1 behind one inverter, output 2 behind two; header count 4.
    Circuit circuit(HandLibrary(),
                    "3 0 0 4 5\n"
                    "pri 1 0\n"
                    "pri 1 0\n"
                    "po INV 0 1 1 0 0\n"
                    "INV 1 1 2 0 0\n"
                    "po INV 0 1 4 0 0\n");
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.SolveLRSu();
    net.ComputeArrivalTime();
    const std::vector<double> before = circuit.Gate(circuit.OutputId()).lambdas;
    EXPECT_EQ(before, (std::vector<double>{0.25, 0.25}));
    net.UpdateLM();
    // With equal old multipliers the new ones are proportional to the arrivals: a_n / sum a.
    const CGate& output = circuit.Gate(circuit.OutputId());
    const double a0 = output.inputArrivals[0];
    const double a1 = output.inputArrivals[1];
    ASSERT_LT(a0, a1);
    EXPECT_TRUE(Near(output.lambdas[0], a0 / (a0 + a1), 1e-14));
    EXPECT_TRUE(Near(output.lambdas[1], a1 / (a0 + a1), 1e-14));
    EXPECT_TRUE(Near(output.lambdaSum, 1.0, 1e-15));
    EXPECT_EQ(net.maxDelay, a1);
  }
}

// ---- The outer loop ----------------------------------------------------------------------------

TEST(OuterLoop, GapFormula) {
  struct Case {
    double lower, upper, threshold;
    bool goOn;
  };
  const Case cases[] = {
      {0.9e-9, 1.1e-9, 0.01, true},       // gap 0.1
      {0.995e-9, 1.005e-9, 0.01, false},  // gap 0.005
      {1e-9, 1e-9, 0.0, false},           // gap 0 is not above a threshold of 0
  };
  for (const Case& c : cases) {
    const double gap = RelativeGap(c.lower, c.upper);
    EXPECT_EQ(gap > c.threshold, c.goOn) << c.lower << " " << c.upper << " gap " << gap;
  }
  EXPECT_TRUE(Near(RelativeGap(0.9e-9, 1.1e-9), 0.1, 1e-12));
  EXPECT_TRUE(Near(RelativeGap(0.995e-9, 1.005e-9), 0.005, 1e-9));
}

TEST(OuterLoop, StopsWhenTheGapIsNoMoreThanTheThreshold) {
  // The gap after the first loop pass, from the oracle.
  Circuit probe(HandLibrary(), WithOutputCount(kReconvergent, 3));
  ReferenceOptimizer reference = ReferenceFor(*probe.net);
  reference.IntializeLM();
  reference.SolveLRSuHelper();
  reference.lowerBound = reference.ComputeLu(reference.parts);
  reference.ComputeArrivalTime();
  reference.UpdateLM();
  reference.SolveLRSu();
  reference.ComputeArrivalTime();
  reference.UpdateLM();
  const double gap = RelativeGap(reference.lowerBound, reference.maxDelay);
  ASSERT_GT(gap, 1e-9);

  struct Case {
    const char* name;
    double threshold;
    bool stopsAfterOnePass;
  };
  const Case cases[] = {
      {"threshold equal to the gap", gap, true},
      {"threshold above the gap", gap * 2, true},
      {"threshold just below the gap", std::nextafter(gap, 0.0), false},
      {"threshold half the gap", gap / 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Circuit circuit(HandLibrary(), WithOutputCount(kReconvergent, 3), 5e-6, c.threshold);
    const ProgramRun run = RunSolveLDP(circuit);
    const int iterations = PrintedIterations(run.out);
    if (c.stopsAfterOnePass) {
      EXPECT_EQ(iterations, 2);
    } else {
      EXPECT_GT(iterations, 2);
    }
    EXPECT_EQ(run.out, ExpectedLoopOutput(iterations));
    EXPECT_EQ(Lines(run.log).size(), static_cast<size_t>(iterations + 3));
  }
}

TEST(OuterLoop, RunsAtLeastOnce) {
  // The single inverter's bounds meet already in the first pass; the loop still runs once.
  for (double threshold : {1e9, 0.01}) {
    SCOPED_TRACE(threshold);
    Circuit circuit(HandLibrary(), kSingleInverter, 5e-6, threshold);
    const ProgramRun run = RunSolveLDP(circuit);
    EXPECT_EQ(run.out, "... Done!\nTotal number of iteration: 2\n\n");
    const std::vector<std::string> lines = Lines(run.log);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Lower Bound\tUpper Bound");
    EXPECT_EQ(lines[1], "===========\t===========");
  }
}

TEST(OuterLoop, PrintedCountMatchesLogLinesAndDots) {
  std::mt19937_64 rng(99);
  for (int sample = 0; sample < 8; ++sample) {
    const RandomCircuit random = MakeRandomCircuit(rng, RandomCircuitOptions{});
    SCOPED_TRACE(random.netlist);
    Circuit circuit(random.library, random.netlist, 1e-5, sample % 2 == 0 ? 1e-3 : 0.01);
    const ProgramRun run = RunSolveLDP(circuit);
    const int n = PrintedIterations(run.out);
    ASSERT_GE(n, 2);
    EXPECT_EQ(run.out, ExpectedLoopOutput(n));
    EXPECT_EQ(Lines(run.log).size(), static_cast<size_t>(n + 1 + 2));
  }
}

// ---- The resize clamp ---------------------------------------------------------------------------

// pri(1) -> A(2) -> B(3, primary output); A also drives C(4), which drives nothing;
// pri(5) drives only D(6), which drives nothing.
const char kClampCircuit[] =
    "4 0 0 1 6\n"
    "pri 1 0\n"
    "INV 2 1 1 0 0\n"
    "po INV 0 1 2 0 0\n"
    "INV 0 1 2 0 0\n"
    "pri 1 0\n"
    "INV 0 1 5 0 0\n";

TEST(ResizeClamp, WeightlessGatesAndUnboundedRoots) {
  const double preset = 5e-13;  // a size between the bounds, so that a clamp shows
  {
    SCOPED_TRACE("multipliers from IntializeLM");
    Circuit circuit(HandLibrary(), kClampCircuit, 1e300);
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    // C and D drive nothing: no flow; pri 5 feeds only D: no flow either.
    EXPECT_EQ(circuit.Gate(4).lambdaSum, 0.0);
    EXPECT_EQ(circuit.Gate(6).lambdaSum, 0.0);
    EXPECT_EQ(circuit.Gate(5).lambdaSum, 0.0);
    EXPECT_EQ(circuit.Gate(2).lambdaSum, 1.0);
    net.SolveLRSuHelper();
    net.CopyStateToParts();
    for (int id : {4, 6}) {
      net.parts[id - 1].gate.size = preset;
      net.parts[id - 1].gate.loadCap = kInvCout * preset;
    }
    net.LoadStateFromParts();
    net.SolveLRSu();
    // C: q = 0 * ... / (Cin * up) with up > 0: q = 0, root 0, so minSize.
    const CGate& a = circuit.Gate(2);
    EXPECT_EQ(circuit.Gate(4).upstreamResistance, (kInvR / a.size) * 1.0);
    EXPECT_GT(circuit.Gate(4).upstreamResistance, 0.0);
    EXPECT_EQ(circuit.Gate(4).size, kMinSize);
    // D: its driver carries no weight either: q = 0 / 0, not a number, so minSize.
    EXPECT_EQ(circuit.Gate(6).upstreamResistance, 0.0);
    EXPECT_EQ(circuit.Gate(6).size, kMinSize);
    // A and B have roots between the bounds.
    EXPECT_GT(a.size, kMinSize);
    EXPECT_LT(a.size, kMaxSize);
  }
  {
    SCOPED_TRACE("a gate with weight whose driver has none");
    Circuit circuit(HandLibrary(), kClampCircuit, 1e300);
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.CopyStateToParts();
    net.parts[0].gate.lambdaSum = 0.0;  // pri 1
    net.LoadStateFromParts();
    net.SolveLRSu();
    // A: q = (1 * R) * (Cin * minSize * 2) / (Cin * 0) = +infinity, so maxSize.
    EXPECT_EQ(circuit.Gate(2).upstreamResistance, 0.0);
    EXPECT_EQ(circuit.Gate(2).size, kMaxSize);
    // B then sees A at maxSize: up = R / 1e-8, root sqrt(R * Cload / (Cin * up)).
    const double up = kInvR / kMaxSize;
    EXPECT_TRUE(Near(circuit.Gate(3).upstreamResistance, up, 1e-15));
    const double root = std::sqrt(kInvR * kOutputLoad / (kInvCin * up));
    ASSERT_GT(root, kMinSize);
    EXPECT_TRUE(Near(circuit.Gate(3).size, root, 1e-12));
  }
  {
    SCOPED_TRACE("a negative quotient");
    Circuit circuit(HandLibrary(), kClampCircuit, 1e300);
    CNetlist& net = *circuit.net;
    net.IntializeLM();
    net.SolveLRSuHelper();
    net.CopyStateToParts();
    // B's load below its own output capacitance: q < 0, its root not a number, so minSize.
    net.parts[2].gate.size = preset;
    net.parts[2].gate.loadCap = 0.0;
    net.LoadStateFromParts();
    net.SolveLRSu();
    EXPECT_EQ(circuit.Gate(3).size, kMinSize);
  }
}

// ---- Circuits that stress the corner cases
// --------------------------------------------------------

testing::AssertionResult SaneState(const std::vector<PartType>& parts) {
  std::ostringstream report;
  int problems = 0;
  auto check = [&](bool ok, int id, const std::string& what, double value) {
    if (ok) return;
    if (++problems <= 10) report << "  node " << id << " " << what << " = " << Show(value) << "\n";
  };
  for (const PartType& part : parts) {
    const CGate& g = part.gate;
    const int id = g.id;
    check(std::isfinite(g.size), id, "size", g.size);
    check(std::isfinite(g.loadCap) && g.loadCap >= 0, id, "loadCap", g.loadCap);
    check(std::isfinite(g.upstreamResistance) && g.upstreamResistance >= 0, id,
          "upstreamResistance", g.upstreamResistance);
    check(std::isfinite(g.delay) && g.delay >= 0, id, "delay", g.delay);
    check(std::isfinite(g.lambdaSum) && g.lambdaSum >= 0, id, "lambdaSum", g.lambdaSum);
    for (double lambda : g.lambdas)
      check(std::isfinite(lambda) && lambda >= 0, id, "lambda", lambda);
    for (double arrival : g.inputArrivals) {
      check(std::isfinite(arrival) && arrival >= 0, id, "arrival", arrival);
    }
    const std::string name = g.name;
    if (name != "pri" && name != "Input" && name != "Output") {
      check(g.size >= kMinSize && g.size <= kMaxSize, id, "size", g.size);
    }
  }
  if (problems == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << problems << " problem(s):\n" << report.str();
}

// A printed number that is not finite ("nan", "-nan", "inf", ...), as a whole token.
bool HasNonNumber(const std::string& text) {
  std::istringstream tokens(text);
  std::string token;
  while (tokens >> token) {
    std::string lower;
    for (char c : token) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!lower.empty() && (lower[0] == '-' || lower[0] == '+')) lower.erase(0, 1);
    if (lower.rfind("nan", 0) == 0 && lower != "nand") return true;
    if (lower == "inf" || lower == "infinity") return true;
  }
  return false;
}

struct CornerCase {
  const char* name;
  const char* library;  // nullptr: the hand library
  const char* netlist;  // nullptr: the reconvergent circuit with output count 0
  double inner;
  double outer;
  int iterations;  // the count printed, 0 when any
};

const CornerCase kCornerCases[] = {
    {"a primary output that also drives gates", nullptr,
     "2 0 0 2 3\n"
     "pri 1 0\n"
     "po INV 1 1 1 0 0\n"
     "po INV 0 1 2 0 0\n",
     5e-6, 0.01, 0},
    {"a gate that drives nothing and is no primary output", nullptr,
     "3 0 0 1 4\n"
     "pri 4 0\n"
     "po INV 0 1 1 0 0\n"
     "INV 0 1 1 0 0\n"
     "NAND 0 2 1 0 0 1 0 0\n",
     5e-6, 0.01, 0},
    {"a primary input that drives nothing", nullptr,
     "1 0 0 1 3\n"
     "pri 1 0\n"
     "pri 0 0\n"
     "po INV 0 1 1 0 0\n",
     5e-6, 0.01, 0},
    {"header output count 0", nullptr, nullptr, 5e-6, 0.01, 0},
    {"thresholds 0 and 0, bounds that meet", nullptr, nullptr, 0.0, 0.0, 0},
    {"thresholds 0 and 0, bounds that never meet", kCapLibrary, kCapCircuit, 0.0, 0.0, 1001},
};

TEST(CornerCases, RunsEndWithFiniteSaneResults) {
  for (const CornerCase& c : kCornerCases) {
    SCOPED_TRACE(c.name);
    const std::string library = c.library != nullptr ? c.library : HandLibrary();
    const std::string netlist =
        c.netlist != nullptr ? c.netlist : WithOutputCount(kReconvergent, 0);
    Circuit circuit(library, netlist, c.inner, c.outer);
    ReferenceOptimizer reference = ReferenceFor(*circuit.net);
    std::string out;
    {
      WorkingDirectory here(circuit.dir.path());
      testing::internal::CaptureStdout();
      circuit.net->OutputResult(circuit.dir.File("circuit.result").c_str());
      out = testing::internal::GetCapturedStdout();
    }
    const int iterations = PrintedIterations(out);
    EXPECT_GE(iterations, 2);
    EXPECT_LE(iterations, 1001);
    if (c.iterations != 0) {
      EXPECT_EQ(iterations, c.iterations);
    }
    EXPECT_TRUE(SaneState(circuit.net->parts));
    EXPECT_TRUE(std::isfinite(circuit.net->lowerBound));
    EXPECT_GT(circuit.net->maxDelay, 0.0);
    EXPECT_TRUE(std::isfinite(circuit.net->maxDelay));
    const std::string log = ReadFile(circuit.dir.File("convergence.txt"));
    const std::string result = ReadFile(circuit.dir.File("circuit.result"));
    EXPECT_EQ(Lines(log).size(), static_cast<size_t>(iterations + 3));
    EXPECT_FALSE(HasNonNumber(log)) << log;
    EXPECT_FALSE(HasNonNumber(result)) << result;
    EXPECT_NE(result.find("Maximum Delay (s): "), std::string::npos);
    // And the oracle agrees on the whole run.
    const LdpRun expected = reference.SolveLDP();
    EXPECT_EQ(expected.iterations, iterations);
    EXPECT_EQ(log, ExpectedLog(expected));
    EXPECT_TRUE(SameState(circuit.net->parts, reference.parts));
  }
}

TEST(CornerCases, PrimaryOutputThatDrivesGatesCarriesBothLoads) {
  // pri(1) -> P(2, primary output) -> Q(3, primary output). P's receivers, in order: Q, then
  // "Output" (the output load); then its own output capacitance.
  Circuit circuit(HandLibrary(), kCornerCases[0].netlist, 1e300);
  CNetlist& net = *circuit.net;
  net.IntializeLM();
  // Output: 1/2 per output; P collects Q's 1/2 and the Output pin's 1/2.
  EXPECT_EQ(circuit.Gate(3).lambdaSum, 0.5);
  EXPECT_EQ(circuit.Gate(2).lambdaSum, 1.0);
  net.SolveLRSuHelper();
  EXPECT_TRUE(
      Near(circuit.Gate(2).loadCap, kInvCin * kMinSize + kOutputLoad + kInvCout * kMinSize, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(3).loadCap, kOutputLoad + kInvCout * kMinSize, 1e-15));
  net.SolveLRSu();
  const double sp = circuit.Gate(2).size;
  const double sq = circuit.Gate(3).size;
  EXPECT_TRUE(Near(circuit.Gate(2).loadCap, kInvCin * sq + kOutputLoad + kInvCout * sp, 1e-15));
  // P's first-sweep size: sqrt((1 * R) * (Cin * minSize + Cload) / (Cin * 5000)).
  EXPECT_TRUE(Near(
      sp, std::sqrt(kInvR * (kInvCin * kMinSize + kOutputLoad) / (kInvCin * kDriverResistance)),
      1e-12));
}

TEST(CornerCases, OutputCountZeroSharesByTheOutputsPresent) {
  Circuit circuit(HandLibrary(), WithOutputCount(kReconvergent, 0));
  circuit.net->IntializeLM();
  const CGate& output = circuit.Gate(circuit.OutputId());
  for (double lambda : output.lambdas) EXPECT_EQ(lambda, 1.0 / 3.0);
  EXPECT_TRUE(Near(output.lambdaSum, 1.0, 1e-15));
}

}  // namespace
