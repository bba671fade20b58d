// End-to-end tests of the sizer through the built executable: standard output, the
// convergence log and the result file, checked line by line against the record-based oracle;
// the file errors; and the reported delay against an independent timing analysis.
#include <cstdio>
#include <cstdlib>
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
using tambril_test::FileExists;
using tambril_test::ListDir;
using tambril_test::ReadFile;
using tambril_test::RunResult;
using tambril_test::RunTambril;
using tambril_test::TempDir;
using tambril_test::WriteFile;

const char kLibrary[] =
    "type\tinputs\tunitInputCap\tunitResistance\tunitOutputCap\tg\tp\n"
    "NAND\t3\t0.02\t1.7e-10\t0.03\t1\t1\n"
    "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
    "NAND\t2\t0.015\t1.7e-10\t0.02\t1\t1\n";
// Ids 1-3 primary inputs, 4 a 3-input gate, 5 and 7-8 primary outputs, 6 drives 7 and 8.
const char kReconvergent[] =
    "5 0 0 3 8\npri 1 0\npri 1 0\npri 1 0\nNAND 2 3 1 0 0 2 0 0 3 0 0\npo INV 0 1 4 0 0\n"
    "INV 2 1 4 0 0\npo INV 0 1 6 0 0\npo INV 0 1 6 0 0\n";
const char kSingleInverter[] = "1 0 0 1 2\npri 1 0\npo INV 0 1 1 0 0\n";

// A scratch directory holding param.txt and the given netlists.
struct Scratch {
  explicit Scratch(const std::string& library, const std::vector<std::string>& netlists = {}) {
    WriteFile(dir.File("param.txt"), library);
    for (size_t k = 0; k < netlists.size(); ++k) {
      WriteFile(dir.File("circuit" + std::to_string(k) + ".net"), netlists[k]);
    }
  }
  TempDir dir;
};

// Checks stdout, the convergence log and every result-file line of a successful run in `dir`
// against the oracle's run of the same files and thresholds.
void CheckOutputs(const TempDir& dir, const std::string& library, const std::string& netlist,
                  const std::string& resultName, const RunResult& result, double inner,
                  double outer) {
  const auto net = LoadCircuit(dir.File("param.txt"), dir.File(netlist), inner, outer);
  ReferenceOptimizer reference = ReferenceFor(*net);
  const LdpRun run = reference.SolveLDP();
  const int n = run.iterations;
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  // "Running TAMBRIL " and the type of every library row, one a line; then the loop's output.
  std::string echo = "Running TAMBRIL ";
  const std::vector<std::string> rows = Lines(library);
  for (size_t k = 1; k < rows.size(); ++k) echo += rows[k].substr(0, rows[k].find('\t')) + "\n";
  EXPECT_EQ(result.out, echo + std::string(n + 1, '.') +
                            " Done!\nTotal number of iteration: " + std::to_string(n) + "\n\n");
  EXPECT_EQ(ReadFile(dir.File("convergence.txt")), ExpectedLog(run));

  const std::string text = ReadFile(dir.File(resultName));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::vector<std::string> lines = Lines(text);
  // "TAMBRIL ran on " and the 24 characters of ctime, the empty line ctime's own line end makes,
  // then an empty line; the runtime a non-negative number.
  ASSERT_GE(lines.size(), 13u);
  EXPECT_EQ(lines[0].rfind("TAMBRIL ran on ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].size(), 15u + 24u) << lines[0];
  const std::string runtimeKey = "Runtime       (s): ";
  ASSERT_EQ(lines[7].rfind(runtimeKey, 0), 0u) << lines[7];
  char* end = nullptr;
  const char* runtime = lines[7].c_str() + runtimeKey.size();
  EXPECT_TRUE(std::strtod(runtime, &end) >= 0.0 && end != runtime && *end == '\0') << lines[7];
  lines[0] = lines[7] = "";
  std::vector<std::string> expected = {"",
                                       "",
                                       "",
                                       "Statistics",
                                       "==========",
                                       "Circuit Size     : " + std::to_string(net->circuitSize),
                                       "Maximum Delay (s): " + FormatG(reference.maxDelay),
                                       "",
                                       "",
                                       "Gate-sizing solution",
                                       "====================",
                                       "ID\tName\tSize(m^2)",
                                       "--\t----\t---------"};
  for (const PartType& part : reference.parts) {
    const std::string name = part.gate.name;
    if (name == "pri" || name == "Input" || name == "Output") continue;
    expected.push_back(std::to_string(part.gate.id) + "\t" + name + "\t" + FormatG(part.gate.size));
  }
  EXPECT_EQ(lines, expected);
}

TEST(EndToEnd, OutputsMatchTheReferenceLineByLine) {
  struct Run {
    std::string name, library, netlist;
    std::vector<std::string> thresholds;  // optional command-line arguments
  };
  std::vector<Run> runs = {
      {"reconvergent, default thresholds", kLibrary, kReconvergent, {}},
      {"reconvergent, inner threshold only", kLibrary, kReconvergent, {"1e-3"}},
      {"reconvergent, both thresholds", kLibrary, kReconvergent, {"1e-4", "0.001"}},
      {"single inverter", kLibrary, kSingleInverter, {}},
      {"thresholds 0 and 0: the outer loop ends at its cap", kCapLibrary, kCapCircuit, {"0", "0"}},
      {"c17 with the bundled library",
       ReadFile(std::string(TAMBRIL_EXAMPLES) + "/param.txt"),
       ReadFile(std::string(TAMBRIL_EXAMPLES) + "/c17.net"),
       {}},
  };
  std::mt19937_64 rng(31337);
  for (int k = 0; k < 4; ++k) {
    const RandomCircuit random = MakeRandomCircuit(rng, RandomCircuitOptions{});
    runs.push_back({"random circuit " + std::to_string(k),
                    random.library,
                    random.netlist,
                    {Exact(1e-5), Exact(k % 2 == 0 ? 0.01 : 0.001)}});
  }
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    ASSERT_FALSE(run.library.empty() || run.netlist.empty());
    Scratch scratch(run.library, {run.netlist});
    std::vector<std::string> args = {"circuit0.net", "circuit.result"};
    args.insert(args.end(), run.thresholds.begin(), run.thresholds.end());
    const RunResult result = RunTambril(args, scratch.dir.path());
    const size_t given = run.thresholds.size();
    CheckOutputs(scratch.dir, run.library, "circuit0.net", "circuit.result", result,
                 given >= 1 ? std::atof(run.thresholds[0].c_str()) : 5e-6,
                 given >= 2 ? std::atof(run.thresholds[1].c_str()) : 0.01);
    EXPECT_EQ(ListDir(scratch.dir.path()),
              (std::vector<std::string>{"circuit.result", "circuit0.net", "convergence.txt",
                                        "param.txt"}));
  }
}

TEST(EndToEnd, ResultFileErrors) {
  {
    SCOPED_TRACE("a missing directory: nothing is created");
    Scratch scratch(kLibrary, {kReconvergent});
    const RunResult result = RunTambril({"circuit0.net", "missing/x.result"}, scratch.dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "File Error: missing/x.result could not be opened\n");
    EXPECT_EQ(result.out, "Running TAMBRIL NAND\nINV\nNAND\n");
    EXPECT_EQ(ListDir(scratch.dir.path()), (std::vector<std::string>{"circuit0.net", "param.txt"}));
  }
  if (FileExists("/dev/full")) {
    SCOPED_TRACE("a full device");
    Scratch scratch(kLibrary, {kReconvergent});
    const RunResult result = RunTambril({"circuit0.net", "/dev/full"}, scratch.dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "File Error: /dev/full could not be written\n");
  }
}

TEST(EndToEnd, ASecondRunReplacesBothFiles) {
  Scratch scratch(kLibrary, {kReconvergent, kSingleInverter});
  // A first run with many log lines and gate lines, then a shorter one into the same files.
  const RunResult first =
      RunTambril({"circuit0.net", "out.result", "1e-6", "1e-7"}, scratch.dir.path());
  ASSERT_EQ(first.exitCode, 0);
  ASSERT_GT(Lines(ReadFile(scratch.dir.File("convergence.txt"))).size(), 5u);
  const RunResult second = RunTambril({"circuit1.net", "out.result"}, scratch.dir.path());
  CheckOutputs(scratch.dir, kLibrary, "circuit1.net", "out.result", second, 5e-6, 0.01);
}

// The reported maximum delay is the delay of the reported sizes, and the lower bound never
// exceeds the upper bound.
TEST(EndToEnd, ReportedDelayIsTheDelayOfTheReportedSizes) {
  std::mt19937_64 rng(4242);
  RandomCircuitOptions options;
  options.exactOutputCount = true;  // the multipliers then carry a unit flow from the start
  for (int sample = 0; sample < 5; ++sample) {
    const RandomCircuit random = MakeRandomCircuit(rng, options);
    SCOPED_TRACE(random.netlist + random.library);
    Scratch scratch(random.library, {random.netlist});
    const RunResult result = RunTambril({"circuit0.net", "circuit.result"}, scratch.dir.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const std::vector<std::string> lines = Lines(ReadFile(scratch.dir.File("circuit.result")));
    ASSERT_EQ(lines.size(), 13u + random.gateCount);
    const std::string delayKey = "Maximum Delay (s): ";
    ASSERT_EQ(lines[6].rfind(delayKey, 0), 0u);
    const std::string reported = lines[6].substr(delayKey.size());
    const auto net = LoadCircuit(scratch.dir.File("param.txt"), scratch.dir.File("circuit0.net"));
    std::vector<double> sizes(net->parts.size(), 0.0);
    for (size_t k = 13; k < lines.size(); ++k) {
      std::istringstream fields(lines[k]);
      int id = 0;
      std::string name;
      fields >> id >> name;
      ASSERT_TRUE(id >= 1 && id <= static_cast<int>(sizes.size())) << lines[k];
      fields >> sizes[id - 1];
    }
    // Timing of the printed sizes (six digits each): close to the printed delay.
    const double printed = std::strtod(reported.c_str(), nullptr);
    EXPECT_NEAR(ReferenceFor(*net).TimeWithSizes(sizes), printed, 5e-5 * printed);
    // Timing of the exact sizes the oracle's run ends with: the printed delay to six digits.
    ReferenceOptimizer run = ReferenceFor(*net);
    run.SolveLDP();
    for (const PartType& part : run.parts) sizes[part.gate.id - 1] = part.gate.size;
    EXPECT_EQ(FormatG(ReferenceFor(*net).TimeWithSizes(sizes)), reported);

    // Every logged lower bound is positive and at most its upper bound (rounding aside).
    const std::vector<std::string> log = Lines(ReadFile(scratch.dir.File("convergence.txt")));
    ASSERT_GE(log.size(), 5u);
    for (size_t k = 2; k < log.size(); ++k) {
      double lower = 0.0;
      double upper = 0.0;
      ASSERT_EQ(std::sscanf(log[k].c_str(), "%lf\t%lf", &lower, &upper), 2) << log[k];
      EXPECT_GT(lower, 0.0) << log[k];
      EXPECT_LE(lower, upper * (1 + 1e-9)) << "log line " << k << ": " << log[k];
    }
  }
}

}  // namespace
