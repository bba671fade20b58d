// The optimiser: whole runs against the record-based reference, bit for bit, on random and
// corner-case circuits; the closed forms that small circuits allow; and the ordering.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "common/gateTypes.h"
#include "gtest/gtest.h"
#include "referenceOptimizer.h"
#include "run/netlist.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

const double kMinSize = 1.69e-14;
const double kMaxSize = 1e-8;
const double kDriverResistance = 5000.0;
const double kOutputLoad = 2.3995 * 1e-15;
const char kHeader[] = "type\tinputs\tCin\tR\tCout\tg\tp\n";
// INV: Cin 0.01, R 1.7e-10, Cout 0.01; NAND for two and three inputs.
const char kSmallLibrary[] =
    "type\tinputs\tCin\tR\tCout\tg\tp\nINV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
    "NAND\t2\t0.0133\t3.4e-10\t0.02\t1\t1\nNAND\t3\t0.02\t4.1e-10\t0.03\t1\t1\n";

bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

std::vector<double> SizesById(const std::vector<PartType>& parts) {
  std::vector<double> sizes;
  for (const PartType& part : parts) sizes.push_back(part.gate.size);
  return sizes;
}

std::vector<double> SizesById(const CNetlist& net) {
  std::vector<double> sizes;
  for (int id = 1; id <= net.partCount; ++id) sizes.push_back(net.SizeOf(id));
  return sizes;
}

// A library with random values for every type and input count that gennet writes; `wide`
// spreads them over many orders of magnitude (output capacitance sometimes 0), so that sizes
// reach both bounds.
std::string RandomLibrary(std::mt19937_64& rng, bool wide) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::string text = kHeader;
  char row[200];
  for (int t = 0; t < tools::kGateTypeCount; ++t) {
    const std::string type(tools::GateTypeName(static_cast<tools::GateType>(t)));
    for (int key = 1; key <= std::min(tools::WidestRow(static_cast<tools::GateType>(t)), 4);
         ++key) {
      double cin = 0.002 + 0.03 * unit(rng), r = 1e-10 + 3e-10 * unit(rng), cout = 0.4 * unit(rng);
      if (wide) {
        cin = std::pow(10.0, -11.0 + 10.0 * unit(rng));
        r = std::pow(10.0, -12.0 + 7.0 * unit(rng));
        cout = unit(rng) < 0.25 ? 0.0 : std::pow(10.0, -4.0 + 4.0 * unit(rng));
      }
      std::snprintf(row, sizeof row, "%s\t%d\t%.17g\t%.17g\t%.17g\t1\t1\n", type.c_str(), key, cin,
                    r, cout);
      text += row;
    }
  }
  return text;
}

struct Sample {
  std::string name, library, netlist;
  double inner = 5e-6, outer = 0.01;
  int cap = 1000;
  bool unitFlow = true;  // the header's output count is right: the bounds then bracket
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples;
  std::mt19937_64 rng(20261206);
  const std::string bundled = ReadFile(RepoPath("examples/param.txt"));
  const double thresholds[][2] = {{5e-6, 0.01}, {1e-3, 0.05}, {0.0, 0.002}, {1e-5, 1e-4}};
  for (int k = 0; k < 24; ++k) {
    Sample s;
    s.name = "gennet seed " + std::to_string(k);
    s.netlist = RandomNetlist(k % 4 == 0 ? 300 : 12 + 7 * k, k, 4);
    s.library = k % 3 == 0 ? bundled : RandomLibrary(rng, k % 3 == 2);
    s.inner = thresholds[k % 4][0];
    s.outer = thresholds[k % 4][1];
    s.cap = k % 5 == 1 ? 12 : 1000;  // some runs end at their cap
    samples.push_back(s);
  }
  const std::pair<const char*, std::string> corners[] = {
      {"a primary output that drives a gate",
       "2 0 0 2 3\npri 1 0\npo INV 1 1 1 0 0\npo INV 0 1 2 0 0\n"},
      {"gates that drive nothing",
       "3 0 0 1 4\npri 4 0\npo INV 0 1 1 0 0\nINV 0 1 1 0 0\nNAND 0 2 1 0 0 1 0 0\n"},
      {"a primary input that drives nothing", "1 0 0 1 3\npri 1 0\npri 0 0\npo INV 0 1 1 0 0\n"},
      {"header output count 0", ReconvergentNetlist(0)},
      {"header output count too high", ReconvergentNetlist(5)},
  };
  for (const auto& [name, netlist] : corners) {
    Sample s;
    s.name = name;
    s.library = kSmallLibrary;
    s.netlist = netlist;
    s.unitFlow = s.name.rfind("header", 0) != 0;
    samples.push_back(s);
  }
  Sample zero = samples.back();
  zero.name = "thresholds 0 and 0";
  zero.inner = zero.outer = 0.0;
  zero.cap = 40;
  samples.push_back(zero);
  // Every pass has the same upper bound; a negative threshold never stops the loop, and the
  // earliest of the equal passes is the one reported.
  Sample flat = samples.front();
  flat.name = "a single path that never stops";
  flat.netlist = "1 0 0 1 2\npri 1 0\npo INV 0 1 1 0 0\n";
  flat.library = kSmallLibrary;
  flat.outer = -1.0;
  flat.cap = 6;
  samples.push_back(flat);
  return samples;
}

TEST(Optimizer, WholeRunsMatchTheReferenceBitForBit) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name + "\n" + s.netlist);
    const InProcessRun run = RunInProcess(s.library, s.netlist, s.inner, s.outer, s.cap);
    ReferenceOptimizer reference(run.records, run.net->outputCount, s.inner, s.outer, s.cap);
    const LdpRun expected = reference.SolveLDP();

    EXPECT_EQ(run.log, expected.Log());
    const std::string tail =
        std::string(expected.upper.size(), '.') +
        " Done!\nTotal number of iteration: " + std::to_string(expected.iterations) + "\n\n";
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), tail.size())), tail);
    EXPECT_EQ(run.err.empty(), expected.converged) << run.err;
    EXPECT_EQ(run.net->Optimizer().Stats().reportedPass, expected.reportedPass);
    EXPECT_TRUE(Same(run.net->maxDelay, reference.maxDelay))
        << run.net->maxDelay << " " << reference.maxDelay;
    char line[64];
    std::snprintf(line, sizeof line, "Maximum Delay (s): %g\n", reference.maxDelay);
    EXPECT_NE(run.result.find(line), std::string::npos) << run.result;
    const std::vector<double> sizes = SizesById(*run.net);
    const std::vector<double> want = SizesById(reference.parts);
    for (size_t k = 0; k < sizes.size(); ++k) {
      ASSERT_TRUE(Same(sizes[k], want[k]))
          << "node " << k + 1 << ": " << sizes[k] << " " << want[k];
    }
    // The reported delay is the delay of the reported sizes, timed from scratch.
    EXPECT_TRUE(Same(reference.TimeWithSizes(sizes), run.net->maxDelay));
    // With a unit flow of multipliers the lower bound never exceeds the upper bound.
    for (size_t k = 0; s.unitFlow && k < expected.lower.size(); ++k) {
      EXPECT_LE(expected.lower[k], expected.upper[k] * (1 + 1e-12)) << "pass " << k + 1;
    }
    if (testing::Test::HasFailure()) return;  // one circuit's report is enough
  }
}

// Small circuits whose optimum has a closed form. With one path every multiplier is 1: the
// inverter behind the 5000-ohm driver minimises 5000 Cin s + (R / s)(Cload + Cout s), whose
// root is sqrt(R Cload / (5000 Cin)), clamped to the bounds. A chain of two inverters settles
// at s1^3 = R^2 Cload / (Cin 5000^2), s2 = 5000 s1^2 / R.
TEST(Optimizer, ClosedForms) {
  struct Case {
    const char* name;
    double cin, r, cout;
    bool chain;
    double (*size)(double cin, double r);  // the expected size of the last gate
    double tolerance;
  };
  const auto root = [](double cin, double r) {
    return std::sqrt(r * kOutputLoad / (kDriverResistance * cin));
  };
  const Case cases[] = {
      {"root between the bounds", 0.01, 1.7e-10, 0.01, false, root, 1e-12},
      {"root below the lower bound", 10.0, 1.7e-10, 0.01, false,
       [](double, double) { return kMinSize; }, 0},
      {"root above the upper bound", 0.01, 1e5, 0.01, false,
       [](double, double) { return kMaxSize; }, 0},
      {"chain fixed point", 0.01, 1.7e-10, 0.01, true,
       [](double cin, double r) {
         const double s1 =
             std::cbrt(r * r * kOutputLoad / (cin * kDriverResistance * kDriverResistance));
         return kDriverResistance * s1 * s1 / r;
       },
       1e-6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char row[160];
    std::snprintf(row, sizeof row, "INV\t1\t%.17g\t%.17g\t%.17g\t1\t1\n", c.cin, c.r, c.cout);
    const InProcessRun run =
        RunInProcess(std::string(kHeader) + row,
                     c.chain ? "2 0 0 1 3\npri 1 0\nINV 1 1 1 0 0\npo INV 0 1 2 0 0\n"
                             : "1 0 0 1 2\npri 1 0\npo INV 0 1 1 0 0\n",
                     0.0, 0.01);
    const double size = run.net->SizeOf(c.chain ? 3 : 2);
    const double expected = c.size(c.cin, c.r);
    EXPECT_NEAR(size / expected, 1.0, c.tolerance) << size << " " << expected;
    if (!c.chain) {  // one path: the bounds meet, at the delay of that size
      const double delay =
          kDriverResistance * c.cin * size + (c.r / size) * (kOutputLoad + c.cout * size);
      EXPECT_NEAR(run.net->maxDelay / delay, 1.0, 1e-12);
      EXPECT_NEAR(run.net->lowerBound / delay, 1.0, 1e-12);
      // The loop runs once even when the bounds meet.
      EXPECT_EQ(run.net->Optimizer().Stats().passes, 2);
    }
  }
}

// The starting multipliers split the flow evenly: 1/5 per output (header count 5), gate 6
// collects 0.4 from its two outputs, gate 4 collects 0.2 + 0.4 and splits it over three pins.
TEST(Optimizer, StartingMultipliersSplitTheFlowEvenly) {
  CNetlist net;
  TempDir dir;
  WriteFile(dir.File("param.txt"), kSmallLibrary);
  WriteFile(dir.File("c.net"), ReconvergentNetlist(5));
  testing::internal::CaptureStdout();
  net.BuildDB(dir.File("param.txt").c_str());
  net.InputNetlist(dir.File("c.net").c_str());
  testing::internal::GetCapturedStdout();
  net.IntializeLM();
  const TimingGraph& graph = net.Graph();
  const sizing::Multipliers& multipliers = net.Optimizer().Lambdas();
  const auto sum = [&](int id) {
    const int p = graph.Position(id);
    return sizing::NodeWeight(multipliers.lambda.data(), graph.fanInStart[p],
                              graph.fanInStart[p + 1]);
  };
  const auto lambdas = [&](int id) {
    const int p = graph.Position(id);
    return std::vector<double>(multipliers.lambda.begin() + graph.fanInStart[p],
                               multipliers.lambda.begin() + graph.fanInStart[p + 1]);
  };
  EXPECT_EQ(lambdas(10), std::vector<double>(3, 0.2));  // "Output"
  for (int id : {1, 2, 3, 5, 7, 8}) EXPECT_NEAR(sum(id), 0.2, 1e-15) << id;
  EXPECT_NEAR(sum(6), 0.4, 1e-15);
  EXPECT_NEAR(sum(4), 0.6, 1e-15);
  for (double lambda : lambdas(4)) EXPECT_NEAR(lambda, 0.2, 1e-15);
  EXPECT_EQ(sum(9), 0.0);  // "Input"
}

// The loop stops when the gap is no more than the threshold: at a threshold equal to the gap
// of the first loop pass it stops there, just below it goes on.
TEST(Optimizer, GapEqualToTheThresholdStops) {
  const std::string netlist = ReconvergentNetlist();
  const InProcessRun probe = RunInProcess(kSmallLibrary, netlist, 5e-6, 1e300);
  ReferenceOptimizer reference(probe.records, 3, 5e-6, 1e300, 1000);
  const LdpRun first = reference.SolveLDP();
  const double total = first.upper[1] + first.lower[1];
  const double gap = std::fabs(first.upper[1] / total - first.lower[1] / total);
  ASSERT_GT(gap, 1e-9);
  EXPECT_EQ(RunInProcess(kSmallLibrary, netlist, 5e-6, gap).net->Optimizer().Stats().passes, 2);
  EXPECT_GT(RunInProcess(kSmallLibrary, netlist, 5e-6, std::nextafter(gap, 0.0))
                .net->Optimizer()
                .Stats()
                .passes,
            2);
}

// The walk orders: complete, every driver before its receivers, the reverse order its exact
// reversal.
TEST(Optimizer, OrdersAreCompleteAndTopological) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    CNetlist net;
    TempDir dir;
    WriteFile(dir.File("param.txt"), ReadFile(RepoPath("examples/param.txt")));
    WriteFile(dir.File("c.net"), RandomNetlist(50 * seed, seed, 1 + seed % 8));
    testing::internal::CaptureStdout();
    net.BuildDB(dir.File("param.txt").c_str());
    net.InputNetlist(dir.File("c.net").c_str());
    testing::internal::GetCapturedStdout();
    const size_t n = net.parts.size();
    ASSERT_EQ(net.forwardOrder.size(), n);
    std::vector<size_t> place(n + 1, n);
    for (size_t k = 0; k < n; ++k) place[net.forwardOrder[k]] = k;
    for (size_t id = 1; id <= n; ++id) {
      ASSERT_LT(place[id], n) << "node " << id << " missing";
      for (const PartInfo& in : net.parts[id - 1].fanIns) ASSERT_LT(place[in.node], place[id]);
    }
    EXPECT_TRUE(std::equal(net.forwardOrder.rbegin(), net.forwardOrder.rend(),
                           net.reverseOrder.begin(), net.reverseOrder.end()));
  }
}

}  // namespace
}  // namespace tambril::test
