// Tests of the optimiser: a bit-exact differential test against the record-based oracle in
// reference_optimizer.h on random circuits, and small hand-worked circuits whose expected
// numbers are derived here from the formulas.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
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

using namespace tambril_reference;
using tambril_test::ReadFile;
using tambril_test::TempDir;
using tambril_test::WriteFile;

// Constants of the program, as its documentation states them.
const double kMinSize = 1.69e-14;
const double kMaxSize = 1e-8;
const double kDriverResistance = 5000.0;
const double kOutputLoad = 2.3995 * 1e-15;

std::string Show(double value) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "%.17g (%a)", value, value);
  return buffer;
}

// Every field the optimiser reads or writes, node by node, and both bounds: bit-identical, or
// both not a number.
testing::AssertionResult SameState(const CNetlist& net, const ReferenceOptimizer& reference) {
  const std::vector<PartType>& program = net.parts;
  if (program.size() != reference.parts.size()) return testing::AssertionFailure() << "sizes";
  std::ostringstream report;
  int differences = 0;
  auto compare = [&](size_t k, const std::string& field, double got, double want) {
    const bool same = std::memcmp(&got, &want, sizeof got) == 0 || (got != got && want != want);
    if (!same && ++differences <= 12) {
      report << "  node " << k + 1 << " " << field << ": program " << Show(got) << ", reference "
             << Show(want) << "\n";
    }
  };
  compare(0, "lowerBound", net.lowerBound, reference.lowerBound);
  compare(0, "maxDelay", net.maxDelay, reference.maxDelay);
  for (size_t k = 0; k < program.size(); ++k) {
    const CGate& a = program[k].gate;
    const CGate& b = reference.parts[k].gate;
    compare(k, "size", a.size, b.size);
    compare(k, "loadCap", a.loadCap, b.loadCap);
    compare(k, "upstreamResistance", a.upstreamResistance, b.upstreamResistance);
    compare(k, "delay", a.delay, b.delay);
    compare(k, "lambdaSum", a.lambdaSum, b.lambdaSum);
    if (a.lambdas.size() != b.lambdas.size() || a.inputArrivals.size() != b.inputArrivals.size()) {
      return testing::AssertionFailure() << "node " << k + 1 << ": pin counts differ";
    }
    for (size_t pin = 0; pin < a.lambdas.size(); ++pin) {
      compare(k, "lambdas[" + std::to_string(pin) + "]", a.lambdas[pin], b.lambdas[pin]);
      compare(k, "inputArrivals[" + std::to_string(pin) + "]", a.inputArrivals[pin],
              b.inputArrivals[pin]);
    }
  }
  if (differences == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differences << " field(s) differ:\n" << report.str();
}

// Relative closeness, for hand-derived values whose operation order differs from the program's.
testing::AssertionResult Near(double got, double want, double relative) {
  if (std::fabs(got - want) <= relative * std::fabs(want)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "got " << Show(got) << ", want " << Show(want);
}

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
  const CGate& Output() { return Gate(static_cast<int>(net->parts.size())); }
  // Changes the optimiser's state through the records.
  void Edit(const std::function<void(std::vector<PartType>&)>& edit) {
    net->CopyStateToParts();
    edit(net->parts);
    net->LoadStateFromParts();
  }
  // Initial multipliers, then the resizing subproblem.
  void Solve() {
    net->IntializeLM();
    net->SolveLRSuHelper();
    net->SolveLRSu();
  }

  TempDir dir;
  std::unique_ptr<CNetlist> net;
};

struct ProgramRun {
  std::string out;  // standard output of SolveLDP
  std::string log;  // convergence.txt
};

ProgramRun RunSolveLDP(Circuit& circuit) {
  ProgramRun run;
  InDirectory(circuit.dir.path(), [&] {
    testing::internal::CaptureStdout();
    circuit.net->SolveLDP();
    run.out = testing::internal::GetCapturedStdout();
  });
  run.log = ReadFile(circuit.dir.File("convergence.txt"));
  return run;
}

// The count in "Total number of iteration: N", -1 when absent.
int PrintedIterations(const std::string& out) {
  const std::string key = "Total number of iteration: ";
  const size_t at = out.find(key);
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
}

std::string ExpectedLoopOutput(int iterations) {
  return std::string(iterations + 1, '.') +
         " Done!\nTotal number of iteration: " + std::to_string(iterations) + "\n\n";
}

// Library constants of the hand-worked circuits (the INV row).
const double kInvCin = 0.01;
const double kInvR = 1.7e-10;
const double kInvCout = 0.01;
const char kLibraryHeader[] = "type\tinputs\tunitInputCap\tunitResistance\tunitOutputCap\tg\tp\n";
const std::string kHandLibrary = std::string(kLibraryHeader) +
                                 "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
                                 "NAND\t2\t0.015\t1.7e-10\t0.02\t1\t1\n"
                                 "NAND\t3\t0.02\t1.7e-10\t0.03\t1\t1\n";

// pri(1) -> INV(2, primary output).
const char kSingleInverter[] = "1 0 0 1 2\npri 1 0\npo INV 0 1 1 0 0\n";
// pri(1) -> g1(2) -> g2(3, primary output).
const char kChain[] = "2 0 0 1 3\npri 1 0\nINV 1 1 1 0 0\npo INV 0 1 2 0 0\n";
// pri(1), pri(2) -> NAND(3, primary output).
const char kTwoInputGate[] = "1 0 0 1 3\npri 1 0\npri 1 0\npo NAND 0 2 1 0 0 2 0 0\n";
// pri(1) -> P(2, primary output) -> Q(3, primary output).
const char kOutputDrivingAGate[] = "2 0 0 2 3\npri 1 0\npo INV 1 1 1 0 0\npo INV 0 1 2 0 0\n";
// Primary inputs 1-3 into a 3-input gate G(4) that drives R1(5, primary output) and R2(6),
// which drives the primary outputs 7 and 8. The header's output count is the second argument.
std::string Reconvergent(int outputCount) {
  return "5 0 0 " + std::to_string(outputCount) +
         " 8\npri 1 0\npri 1 0\npri 1 0\nNAND 2 3 1 0 0 2 0 0 3 0 0\npo INV 0 1 4 0 0\n"
         "INV 2 1 4 0 0\npo INV 0 1 6 0 0\npo INV 0 1 6 0 0\n";
}

// ---- Differential test -------------------------------------------------------------------------

TEST(OptimizerDifferential, StepsAndWholeRunsMatchTheReferenceBitForBit) {
  const double kThresholds[][2] = {{5e-6, 0.01}, {1e-3, 0.05}, {0.0, 0.002}, {1e-5, 1e-4}};
  std::mt19937_64 rng(20240611);
  for (int sample = 0; sample < 60; ++sample) {
    RandomCircuitOptions options;
    options.maxGates = sample % 5 == 0 ? 60 : 20;
    options.wideLibrary = sample % 3 == 2;
    const RandomCircuit random = MakeRandomCircuit(rng, options);
    const double inner = kThresholds[sample % 4][0];
    const double outer = kThresholds[sample % 4][1];
    SCOPED_TRACE("sample " + std::to_string(sample) + "\n" + random.netlist + random.library);

    // Step by step: every field after every step.
    Circuit steps(random.library, random.netlist, inner, outer);
    CNetlist& net = *steps.net;
    ReferenceOptimizer reference = ReferenceFor(net);
    auto check = [&](const std::string& step) {
      net.CopyStateToParts();
      EXPECT_TRUE(SameState(net, reference)) << "after " << step;
    };
    check("reading");
    net.IntializeLM();
    reference.IntializeLM();
    check("IntializeLM");
    net.SolveLRSuHelper();
    reference.SolveLRSuHelper();
    check("SolveLRSuHelper");
    // ComputeLu on the program's own state, its delays moved back through the records.
    NodeValues values = net.Values();
    net.lowerBound = net.ComputeLu(values);
    net.CopyStateToParts();
    const TimingGraph& graph = net.Graph();
    for (int p = 0; p < graph.NodeCount(); ++p) {
      net.parts[graph.idAt[p] - 1].gate.delay = values.delay[p];
    }
    net.LoadStateFromParts();
    reference.lowerBound = reference.ComputeLu(reference.parts);
    check("ComputeLu");
    for (int pass = 0; pass <= 4; ++pass) {
      const std::string suffix = " (pass " + std::to_string(pass) + ")";
      if (pass > 0) {
        net.SolveLRSu();
        reference.SolveLRSu();
        check("SolveLRSu" + suffix);
      }
      net.ComputeArrivalTime();
      reference.ComputeArrivalTime();
      check("ComputeArrivalTime" + suffix);
      net.UpdateLM();
      reference.UpdateLM();
      check("UpdateLM" + suffix);
    }

    // A whole outer loop: final records (SolveLDP leaves them itself), stdout and log.
    Circuit whole(random.library, random.netlist, inner, outer);
    ReferenceOptimizer wholeReference = ReferenceFor(*whole.net);
    const ProgramRun program = RunSolveLDP(whole);
    const LdpRun expected = wholeReference.SolveLDP();
    EXPECT_TRUE(SameState(*whole.net, wholeReference)) << "after SolveLDP";
    EXPECT_EQ(program.out, ExpectedLoopOutput(expected.iterations));
    EXPECT_EQ(program.log, ExpectedLog(expected));
    // N passes printed: N + 1 dots (above) and N + 1 log lines under the two header lines.
    EXPECT_EQ(Lines(program.log).size(), static_cast<size_t>(expected.iterations + 3));
    if (testing::Test::HasFailure()) return;  // one circuit's report is enough
  }
}

// With one path every multiplier is 1, so the inverter minimises
//   5000 * Cin * s + (R / s) * (Cload + Cout * s)
// whose root is s = sqrt(R * Cload / (Cin * 5000)), then clamped to [minSize, maxSize].
TEST(SingleInverter, SizeIsTheClosedFormOptimumClamped) {
  struct Case {
    double cin, r, cout;
    int where;  // -1 below minSize, 0 between the bounds, +1 above maxSize
  };
  const Case cases[] = {{0.01, 1.7e-10, 0.01, 0},
                        {10.0, 1.7e-10, 0.01, -1},
                        {0.01, 1e5, 0.01, +1},
                        {0.003, 3e-10, 0.2, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cin);
    const std::string library = std::string(kLibraryHeader) + "INV\t1\t" + Exact(c.cin) + "\t" +
                                Exact(c.r) + "\t" + Exact(c.cout) + "\t1\t1\n";
    Circuit circuit(library, kSingleInverter, 1e300);  // the first sweep only
    CNetlist& net = *circuit.net;
    const double root = std::sqrt(c.r * kOutputLoad / (c.cin * kDriverResistance));
    ASSERT_EQ(c.where < 0, root < kMinSize);
    ASSERT_EQ(c.where > 0, root > kMaxSize);
    const double size = c.where < 0 ? kMinSize : c.where > 0 ? kMaxSize : root;

    circuit.Solve();
    EXPECT_EQ(circuit.Gate(2).upstreamResistance, kDriverResistance);
    EXPECT_TRUE(c.where == 0 ? Near(circuit.Gate(2).size, size, 1e-12)
                             : testing::AssertionResult(circuit.Gate(2).size == size));
    const double priDelay = kDriverResistance * c.cin * size;
    const double gateDelay = (c.r / size) * (kOutputLoad + c.cout * size);
    EXPECT_TRUE(Near(circuit.Gate(1).delay, priDelay, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(2).delay, gateDelay, 1e-12));
    EXPECT_TRUE(Near(net.lowerBound, priDelay + gateDelay, 1e-12));
    net.ComputeArrivalTime();
    net.UpdateLM();
    EXPECT_TRUE(Near(net.maxDelay, priDelay + gateDelay, 1e-12));
    EXPECT_EQ(circuit.Output().lambdas, std::vector<double>{1.0});
  }
}

// All multipliers are 1. A resize sweep gives
//   s1 = sqrt(R * (Cin * s2) / (Cin * 5000)) = sqrt(R * s2 / 5000)      (driver: pri, weight 5000)
//   s2 = sqrt(R * Cload / (Cin * R / s1)) = sqrt(Cload * s1 / Cin)      (driver: g1 at its new s1)
// and the fixed point is s1^3 = R^2 * Cload / (Cin * 5000^2), s2 = 5000 * s1^2 / R.
TEST(Chain, FirstSweepAndConvergedSizes) {
  const double r = kInvR;
  const double cin = kInvCin;
  auto lagrangian = [&](double s1, double s2) {
    return kDriverResistance * cin * s1 + (r / s1) * (kInvCout * s1 + cin * s2) +
           (r / s2) * (kOutputLoad + kInvCout * s2);
  };
  {
    SCOPED_TRACE("one sweep");
    Circuit circuit(kHandLibrary, kChain, 1e300);
    circuit.Solve();
    const double s1 = std::sqrt(r * kMinSize / kDriverResistance);
    const double s2 = std::sqrt(kOutputLoad * s1 / cin);
    EXPECT_TRUE(Near(circuit.Gate(2).size, s1, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(3).size, s2, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(1).loadCap, cin * s1, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(2).loadCap, kInvCout * s1 + cin * s2, 1e-12));
    EXPECT_TRUE(Near(circuit.Gate(3).loadCap, kOutputLoad + kInvCout * s2, 1e-12));
    EXPECT_TRUE(Near(circuit.net->lowerBound, lagrangian(s1, s2), 1e-12));
  }
  {
    SCOPED_TRACE("converged");
    Circuit circuit(kHandLibrary, kChain, 0.0);
    circuit.Solve();
    const double s1 =
        std::cbrt(r * r * kOutputLoad / (cin * kDriverResistance * kDriverResistance));
    const double s2 = kDriverResistance * s1 * s1 / r;
    // The Lagrangian is flat at the optimum: sizes settle to about the square root of the
    // rounding error, the value to the rounding error.
    EXPECT_TRUE(Near(circuit.Gate(2).size, s1, 1e-6));
    EXPECT_TRUE(Near(circuit.Gate(3).size, s2, 1e-6));
    EXPECT_TRUE(Near(circuit.net->lowerBound, lagrangian(s1, s2), 1e-12));
  }
}

// A two-input gate with pin arrivals 3 ns and 5 ns, delay 1 ns, multipliers 0.5 / 0.5 and a
// fan-out flow of 1: arrival 6 ns, pin shares (4 * 0.5) / 6 = 1/3 and (6 * 0.5) / 6 = 1/2,
// S = 5/6, so the new multipliers are 1/3 * 6/5 = 0.4 and 1/2 * 6/5 = 0.6.
TEST(UpdateLM, UnequalPinArrivalsShiftTheFlowToTheLaterPin) {
  Circuit circuit(kHandLibrary, kTwoInputGate);
  circuit.Edit([](std::vector<PartType>& parts) {
    parts[0].gate.delay = 3e-9;  // the primary inputs' delays make the gate's pin arrivals
    parts[0].gate.lambdas = {1.0};
    parts[1].gate.delay = 5e-9;
    parts[1].gate.lambdas = {1.0};
    CGate& gate = parts[2].gate;
    gate.inputArrivals = {3e-9, 5e-9};
    gate.delay = 1e-9;
    gate.lambdas = {0.5, 0.5};
    gate.lambdaSum = 1.0;
    parts[4].gate.inputArrivals = {6e-9};
    parts[4].gate.lambdas = {1.0};
    parts[4].gate.delay = 0.0;
  });
  circuit.net->UpdateLM();
  EXPECT_EQ(circuit.net->maxDelay, 6e-9);
  EXPECT_EQ(circuit.Gate(5).lambdas, std::vector<double>{1.0});
  EXPECT_TRUE(Near(circuit.Gate(3).lambdas[0], 0.4, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(3).lambdas[1], 0.6, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(3).lambdaSum, 1.0, 1e-15));
  // Each primary input passes on the flow of its pin.
  EXPECT_TRUE(Near(circuit.Gate(1).lambdas[0], 0.4, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(2).lambdas[0], 0.6, 1e-15));
}

// Where the proportional update would divide 0 by 0, the flow is spread evenly over the pins.
TEST(UpdateLM, DegenerateNodesSpreadTheFlowEvenly) {
  for (bool zeroArrival : {false, true}) {
    SCOPED_TRACE(zeroArrival ? "arrival 0" : "multipliers all 0");
    Circuit circuit(kHandLibrary, kTwoInputGate);
    circuit.Solve();
    circuit.net->ComputeArrivalTime();
    ASSERT_GT(circuit.Gate(3).delay, 0.0);
    circuit.Edit([&](std::vector<PartType>& parts) {
      CGate& g = parts[2].gate;
      if (zeroArrival) {
        g.inputArrivals = {0.0, 0.0};
        g.delay = 0.0;
      } else {
        g.lambdas = {0.0, 0.0};
        g.lambdaSum = 0.0;
      }
    });
    circuit.net->UpdateLM();
    EXPECT_EQ(circuit.Gate(3).lambdas, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(circuit.Gate(3).lambdaSum, 1.0);
    EXPECT_EQ(circuit.Gate(1).lambdaSum, 0.5);
    EXPECT_EQ(circuit.Output().lambdas, std::vector<double>{1.0});
  }
}

// Output 1 behind one inverter, output 2 behind two; header count 4, so the old multipliers are
// equal (1/4) and the new ones proportional to the arrivals, a_n / sum a: a flow of 1.
TEST(UpdateLM, BringsTheOutputFlowToOne) {
  Circuit circuit(
      kHandLibrary,
      "3 0 0 4 5\npri 1 0\npri 1 0\npo INV 0 1 1 0 0\nINV 1 1 2 0 0\npo INV 0 1 4 0 0\n");
  circuit.Solve();
  circuit.net->ComputeArrivalTime();
  circuit.net->UpdateLM();
  const CGate& output = circuit.Output();
  const double a0 = output.inputArrivals[0];
  const double a1 = output.inputArrivals[1];
  ASSERT_LT(a0, a1);
  EXPECT_TRUE(Near(output.lambdas[0], a0 / (a0 + a1), 1e-14));
  EXPECT_TRUE(Near(output.lambdas[1], a1 / (a0 + a1), 1e-14));
  EXPECT_TRUE(Near(output.lambdaSum, 1.0, 1e-15));
  EXPECT_EQ(circuit.net->maxDelay, a1);
}

TEST(IntializeLM, FlowIsSplitEvenlyOverPins) {
  // Output: 1/5 per output (header count 5, three outputs present); R1 and the two outputs
  // behind R2 hold 0.2; R2 collects 0.4; G collects 0.2 + 0.4 = 0.6 and splits it over three
  // pins: 0.2 each; each primary input then holds 0.2; "Input" drives nothing.
  Circuit circuit(kHandLibrary, Reconvergent(5));
  circuit.net->IntializeLM();
  EXPECT_EQ(circuit.Output().lambdas, std::vector<double>(3, 1.0 / 5.0));
  EXPECT_TRUE(Near(circuit.Output().lambdaSum, 0.6, 1e-15));
  for (int id : {1, 2, 3, 5, 7, 8}) EXPECT_TRUE(Near(circuit.Gate(id).lambdaSum, 0.2, 1e-15)) << id;
  EXPECT_TRUE(Near(circuit.Gate(6).lambdas[0], 0.4, 1e-15));
  ASSERT_EQ(circuit.Gate(4).lambdas.size(), 3u);
  for (double lambda : circuit.Gate(4).lambdas) EXPECT_TRUE(Near(lambda, 0.2, 1e-15));
  EXPECT_TRUE(Near(circuit.Gate(4).lambdaSum, 0.6, 1e-15));
  EXPECT_EQ(circuit.Gate(9).lambdaSum, 0.0);
}

TEST(IntializeLM, OutputShareComesFromTheHeaderCount) {
  struct Case {
    int outputs, header;
    double share, sum;
  };
  const Case cases[] = {
      {2, 4, 0.25, 0.5},                                     // two of four: the flow starts at 0.5
      {3, 0, 1.0 / 3.0, 1.0 / 3.0 + 1.0 / 3.0 + 1.0 / 3.0},  // no count: the outputs present
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.outputs) + " outputs, header " + std::to_string(c.header));
    // `outputs` primary inputs, each driving one inverter that is a primary output.
    std::string netlist = std::to_string(c.outputs) + " 0 0 " + std::to_string(c.header) + " " +
                          std::to_string(2 * c.outputs) + "\n";
    for (int k = 0; k < c.outputs; ++k) netlist += "pri 1 0\n";
    for (int k = 1; k <= c.outputs; ++k) netlist += "po INV 0 1 " + std::to_string(k) + " 0 0\n";
    Circuit circuit(kHandLibrary, netlist);
    circuit.net->IntializeLM();
    EXPECT_EQ(circuit.Output().lambdas, std::vector<double>(c.outputs, c.share));
    EXPECT_EQ(circuit.Output().lambdaSum, c.sum);
    for (int id = c.outputs + 1; id <= 2 * c.outputs; ++id) {
      EXPECT_EQ(circuit.Gate(id).lambdaSum, c.share) << "gate " << id;
    }
  }
}

// ---- The outer loop ----------------------------------------------------------------------------

TEST(OuterLoop, StopsWhenTheGapIsNoMoreThanTheThreshold) {
  // The gap after the first loop pass, from the oracle (whose second log line it is).
  Circuit probe(kHandLibrary, Reconvergent(3), 5e-6, 1e300);
  const LdpRun first = ReferenceFor(*probe.net).SolveLDP();
  const double gap = RelativeGap(first.log[1].lower, first.log[1].upper);
  ASSERT_GT(gap, 1e-9);
  for (double threshold : {gap, std::nextafter(gap, 0.0)}) {
    SCOPED_TRACE(threshold == gap ? "threshold equal to the gap" : "threshold just below it");
    Circuit circuit(kHandLibrary, Reconvergent(3), 5e-6, threshold);
    const ProgramRun run = RunSolveLDP(circuit);
    const int iterations = PrintedIterations(run.out);
    if (threshold == gap) {
      EXPECT_EQ(iterations, 2);
    } else {
      EXPECT_GT(iterations, 2);
    }
    EXPECT_EQ(run.out, ExpectedLoopOutput(iterations));
    EXPECT_EQ(Lines(run.log).size(), static_cast<size_t>(iterations + 3));
  }
}

// The single inverter's bounds meet in the first pass (one path: the Lagrangian is the path
// delay itself); the loop still runs once, and ends at the closed-form optimum.
TEST(OuterLoop, RunsAtLeastOnce) {
  const double root = std::sqrt(kInvR * kOutputLoad / (kInvCin * kDriverResistance));
  const double delay =
      kDriverResistance * kInvCin * root + (kInvR / root) * (kOutputLoad + kInvCout * root);
  for (double threshold : {1e9, 0.01}) {
    SCOPED_TRACE(threshold);
    Circuit circuit(kHandLibrary, kSingleInverter, 5e-6, threshold);
    const ProgramRun run = RunSolveLDP(circuit);
    EXPECT_EQ(run.out, "... Done!\nTotal number of iteration: 2\n\n");
    EXPECT_EQ(Lines(run.log).size(), 5u);
    EXPECT_TRUE(Near(circuit.net->parts[1].gate.size, root, 1e-12));
    EXPECT_TRUE(Near(circuit.net->maxDelay, delay, 1e-12));
    EXPECT_TRUE(Near(circuit.net->lowerBound, delay, 1e-12));
  }
}

// ---- The resize clamp ---------------------------------------------------------------------------

// pri(1) -> A(2) -> B(3, primary output); A also drives C(4), which drives nothing;
// pri(5) drives only D(6), which drives nothing.
const char kClampCircuit[] =
    "4 0 0 1 6\npri 1 0\nINV 2 1 1 0 0\npo INV 0 1 2 0 0\nINV 0 1 2 0 0\npri 1 0\nINV 0 1 5 0 0\n";

TEST(ResizeClamp, WeightlessGatesAndUnboundedRoots) {
  {
    SCOPED_TRACE("multipliers from IntializeLM");
    Circuit circuit(kHandLibrary, kClampCircuit, 1e300);
    circuit.net->IntializeLM();
    // C and D drive nothing: no flow; pri 5 feeds only D: no flow either.
    for (int id : {4, 5, 6}) EXPECT_EQ(circuit.Gate(id).lambdaSum, 0.0) << id;
    EXPECT_EQ(circuit.Gate(2).lambdaSum, 1.0);
    circuit.net->SolveLRSuHelper();
    circuit.Edit([](std::vector<PartType>& parts) {
      for (int id : {4, 6}) {  // a size between the bounds, so that a clamp shows
        parts[id - 1].gate.size = 5e-13;
        parts[id - 1].gate.loadCap = kInvCout * 5e-13;
      }
    });
    circuit.net->SolveLRSu();
    // C: q = 0 * ... / (Cin * up) with up > 0: root 0, so minSize.
    const CGate& a = circuit.Gate(2);
    EXPECT_EQ(circuit.Gate(4).upstreamResistance, (kInvR / a.size) * 1.0);
    EXPECT_EQ(circuit.Gate(4).size, kMinSize);
    // D: its driver carries no weight either: q = 0 / 0, not a number, so minSize.
    EXPECT_EQ(circuit.Gate(6).upstreamResistance, 0.0);
    EXPECT_EQ(circuit.Gate(6).size, kMinSize);
    // A has its root between the bounds, unchanged.
    EXPECT_TRUE(
        Near(a.size, std::sqrt(kInvR * (kInvCin * kMinSize * 2) / (kInvCin * 5000.0)), 1e-12));
  }
  {
    SCOPED_TRACE("a gate with weight whose driver has none");
    Circuit circuit(kHandLibrary, kClampCircuit, 1e300);
    circuit.net->IntializeLM();
    circuit.net->SolveLRSuHelper();
    circuit.Edit([](std::vector<PartType>& parts) { parts[0].gate.lambdaSum = 0.0; });
    circuit.net->SolveLRSu();
    // A: q = (1 * R) * (Cin * minSize * 2) / (Cin * 0) = +infinity, so maxSize.
    EXPECT_EQ(circuit.Gate(2).upstreamResistance, 0.0);
    EXPECT_EQ(circuit.Gate(2).size, kMaxSize);
    // B then sees A at maxSize: up = R / 1e-8, root sqrt(R * Cload / (Cin * up)).
    const double up = kInvR / kMaxSize;
    EXPECT_TRUE(Near(circuit.Gate(3).upstreamResistance, up, 1e-15));
    EXPECT_TRUE(Near(circuit.Gate(3).size, std::sqrt(kInvR * kOutputLoad / (kInvCin * up)), 1e-12));
  }
}

// ---- Degenerate circuits -----------------------------------------------------------------------

testing::AssertionResult SaneState(const std::vector<PartType>& parts) {
  std::ostringstream report;
  for (const PartType& part : parts) {
    const CGate& g = part.gate;
    std::vector<double> values = {g.loadCap, g.upstreamResistance, g.delay, g.lambdaSum};
    values.insert(values.end(), g.lambdas.begin(), g.lambdas.end());
    values.insert(values.end(), g.inputArrivals.begin(), g.inputArrivals.end());
    for (double value : values) {
      if (!std::isfinite(value) || value < 0) report << " node " << g.id << ": " << Show(value);
    }
    const bool gate = std::strcmp(g.name, "pri") != 0 && std::strcmp(g.name, "Input") != 0 &&
                      std::strcmp(g.name, "Output") != 0;
    if (!std::isfinite(g.size) || (gate && !(g.size >= kMinSize && g.size <= kMaxSize))) {
      report << " node " << g.id << " size " << Show(g.size);
    }
  }
  if (report.str().empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << report.str();
}

// A number "%g" printed as not finite.
bool HasNonNumber(const std::string& text) {
  std::istringstream tokens(text);
  for (std::string token; tokens >> token;) {
    if (token == "nan" || token == "-nan" || token == "inf" || token == "-inf") return true;
  }
  return false;
}

TEST(CornerCases, RunsEndWithFiniteSaneResults) {
  struct Case {
    const char* name;
    std::string library;
    std::string netlist;
    double inner, outer;
    int iterations;  // the count printed, 0 when any
  };
  const Case cases[] = {
      {"a primary output that also drives gates", kHandLibrary, kOutputDrivingAGate, 5e-6, 0.01, 0},
      {"a gate that drives nothing and is no primary output", kHandLibrary,
       "3 0 0 1 4\npri 4 0\npo INV 0 1 1 0 0\nINV 0 1 1 0 0\nNAND 0 2 1 0 0 1 0 0\n", 5e-6, 0.01,
       0},
      {"a primary input that drives nothing", kHandLibrary,
       "1 0 0 1 3\npri 1 0\npri 0 0\npo INV 0 1 1 0 0\n", 5e-6, 0.01, 0},
      {"header output count 0", kHandLibrary, Reconvergent(0), 5e-6, 0.01, 0},
      {"thresholds 0 and 0, bounds that meet", kHandLibrary, Reconvergent(0), 0.0, 0.0, 0},
      {"thresholds 0 and 0, bounds that never meet", kCapLibrary, kCapCircuit, 0.0, 0.0, 1001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Circuit circuit(c.library, c.netlist, c.inner, c.outer);
    ReferenceOptimizer reference = ReferenceFor(*circuit.net);
    std::string out;
    InDirectory(circuit.dir.path(), [&] {
      testing::internal::CaptureStdout();
      circuit.net->OutputResult(circuit.dir.File("circuit.result").c_str());
      out = testing::internal::GetCapturedStdout();
    });
    const int iterations = PrintedIterations(out);
    EXPECT_GE(iterations, 2);
    EXPECT_LE(iterations, 1001);
    if (c.iterations != 0) {
      EXPECT_EQ(iterations, c.iterations);
    }
    EXPECT_TRUE(SaneState(circuit.net->parts));
    EXPECT_TRUE(std::isfinite(circuit.net->lowerBound));
    EXPECT_TRUE(std::isfinite(circuit.net->maxDelay) && circuit.net->maxDelay > 0.0);
    const std::string log = ReadFile(circuit.dir.File("convergence.txt"));
    const std::string result = ReadFile(circuit.dir.File("circuit.result"));
    EXPECT_FALSE(HasNonNumber(log)) << log;
    EXPECT_FALSE(HasNonNumber(result)) << result;
    // And the oracle agrees on the whole run.
    const LdpRun expected = reference.SolveLDP();
    EXPECT_EQ(expected.iterations, iterations);
    EXPECT_EQ(log, ExpectedLog(expected));
    EXPECT_TRUE(SameState(*circuit.net, reference));
  }
}

TEST(CornerCases, PrimaryOutputThatDrivesGatesCarriesBothLoads) {
  // P's receivers, in order: Q, then "Output" (the output load); then its own output capacitance.
  Circuit circuit(kHandLibrary, kOutputDrivingAGate, 1e300);
  circuit.Solve();
  // Output: 1/2 per output; P collects Q's 1/2 and the Output pin's 1/2.
  EXPECT_EQ(circuit.Gate(3).lambdaSum, 0.5);
  EXPECT_EQ(circuit.Gate(2).lambdaSum, 1.0);
  const double sp = circuit.Gate(2).size;
  const double sq = circuit.Gate(3).size;
  EXPECT_TRUE(Near(circuit.Gate(2).loadCap, kInvCin * sq + kOutputLoad + kInvCout * sp, 1e-15));
  // P's first-sweep size: sqrt((1 * R) * (Cin * minSize + Cload) / (Cin * 5000)).
  EXPECT_TRUE(Near(
      sp, std::sqrt(kInvR * (kInvCin * kMinSize + kOutputLoad) / (kInvCin * kDriverResistance)),
      1e-12));
}

}  // namespace
