// End-to-end tests of the sizer through the built executable: standard output, the
// convergence log and the result file, checked line by line against the record-based oracle;
// the file errors; and the reported delay against an independent timing analysis.
#include <cmath>
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
using tambril_test::FileExists;
using tambril_test::ListDir;
using tambril_test::ReadFile;
using tambril_test::RunResult;
using tambril_test::RunTambril;
using tambril_test::TempDir;
using tambril_test::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream stream(text);
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

std::string Exact(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

// "Running TAMBRIL " and then the type name of every library row, one a line.
std::string LibraryEcho(const std::string& library) {
  std::string echo = "Running TAMBRIL ";
  const std::vector<std::string> lines = Lines(library);
  for (size_t k = 1; k < lines.size(); ++k) echo += lines[k].substr(0, lines[k].find('\t')) + "\n";
  return echo;
}

const char kLibrary[] =
    "type\tinputs\tunitInputCap\tunitResistance\tunitOutputCap\tg\tp\n"
    "NAND\t3\t0.02\t1.7e-10\t0.03\t1\t1\n"
    "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
    "NAND\t2\t0.015\t1.7e-10\t0.02\t1\t1\n";

// Ids 1-3 primary inputs, 4 a 3-input gate, 5 and 7-8 primary outputs, 6 drives 7 and 8.
const char kReconvergent[] =
    "5 0 0 3 8\n"
    "pri 1 0\n"
    "pri 1 0\n"
    "pri 1 0\n"
    "NAND 2 3 1 0 0 2 0 0 3 0 0\n"
    "po INV 0 1 4 0 0\n"
    "INV 2 1 4 0 0\n"
    "po INV 0 1 6 0 0\n"
    "po INV 0 1 6 0 0\n";

const char kSingleInverter[] =
    "1 0 0 1 2\n"
    "pri 1 0\n"
    "po INV 0 1 1 0 0\n";

// What a run must produce, from the oracle.
struct Expected {
  LdpRun run;
  std::vector<PartType> parts;
  double maxDelay = 0.0;
  int circuitSize = 0;
};

Expected Predict(const std::string& libraryPath, const std::string& netlistPath, double inner,
                 double outer) {
  const auto netlist = LoadCircuit(libraryPath, netlistPath, inner, outer);
  ReferenceOptimizer reference = ReferenceFor(*netlist);
  Expected expected;
  expected.run = reference.SolveLDP();
  expected.parts = reference.parts;
  expected.maxDelay = reference.maxDelay;
  expected.circuitSize = netlist->circuitSize;
  return expected;
}

bool IsReserved(const CGate& gate) {
  const std::string name = gate.name;
  return name == "pri" || name == "Input" || name == "Output";
}

// Checks the three outputs of a successful run in `dir` line by line.
void CheckOutputs(const TempDir& dir, const std::string& library, const std::string& resultName,
                  const RunResult& result, const Expected& expected) {
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  const int n = expected.run.iterations;
  EXPECT_EQ(result.out, LibraryEcho(library) + std::string(n + 1, '.') +
                            " Done!\nTotal number of iteration: " + std::to_string(n) + "\n\n");

  const std::vector<std::string> log = Lines(ReadFile(dir.File("convergence.txt")));
  ASSERT_EQ(log.size(), static_cast<size_t>(2 + n + 1));
  EXPECT_EQ(log[0], "Lower Bound\tUpper Bound");
  EXPECT_EQ(log[1], "===========\t===========");
  for (int k = 0; k <= n; ++k) {
    const auto& line = expected.run.log[k];
    EXPECT_EQ(log[2 + k], FormatG(line.lower) + "\t" + FormatG(line.upper)) << "log line " << k;
  }

  const std::string text = ReadFile(dir.File(resultName));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> lines = Lines(text);
  std::vector<std::string> gates;
  for (const PartType& part : expected.parts) {
    if (IsReserved(part.gate)) continue;
    gates.push_back(std::to_string(part.gate.id) + "\t" + part.gate.name + "\t" +
                    FormatG(part.gate.size));
  }
  ASSERT_EQ(lines.size(), 13 + gates.size());
  // "TAMBRIL ran on " and the 24 characters of ctime, then the empty line ctime's own line end
  // makes, then an empty line.
  EXPECT_EQ(lines[0].rfind("TAMBRIL ran on ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].size(), 15u + 24u) << lines[0];
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "Statistics");
  EXPECT_EQ(lines[4], "==========");
  EXPECT_EQ(lines[5], "Circuit Size     : " + std::to_string(expected.circuitSize));
  EXPECT_EQ(lines[6], "Maximum Delay (s): " + FormatG(expected.maxDelay));
  const std::string runtimeKey = "Runtime       (s): ";
  ASSERT_EQ(lines[7].rfind(runtimeKey, 0), 0u) << lines[7];
  const std::string runtime = lines[7].substr(runtimeKey.size());
  char* end = nullptr;
  const double seconds = std::strtod(runtime.c_str(), &end);
  EXPECT_TRUE(end != runtime.c_str() && *end == '\0' && seconds >= 0.0) << lines[7];
  EXPECT_EQ(lines[8], "");
  EXPECT_EQ(lines[9], "Gate-sizing solution");
  EXPECT_EQ(lines[10], "====================");
  EXPECT_EQ(lines[11], "ID\tName\tSize(m^2)");
  EXPECT_EQ(lines[12], "--\t----\t---------");
  for (size_t k = 0; k < gates.size(); ++k) EXPECT_EQ(lines[13 + k], gates[k]);
}

struct RunSetup {
  std::string name;
  std::string library;
  std::string netlist;
  std::vector<std::string> thresholds;  // optional command-line arguments
};

TEST(EndToEnd, OutputsMatchTheReferenceLineByLine) {
  std::vector<RunSetup> setups = {
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
    setups.push_back({"random circuit " + std::to_string(k),
                      random.library,
                      random.netlist,
                      {Exact(1e-5), Exact(k % 2 == 0 ? 0.01 : 0.001)}});
  }
  for (const RunSetup& setup : setups) {
    SCOPED_TRACE(setup.name);
    ASSERT_FALSE(setup.library.empty());
    ASSERT_FALSE(setup.netlist.empty());
    TempDir dir;
    WriteFile(dir.File("param.txt"), setup.library);
    WriteFile(dir.File("circuit.net"), setup.netlist);
    std::vector<std::string> args = {"circuit.net", "circuit.result"};
    args.insert(args.end(), setup.thresholds.begin(), setup.thresholds.end());
    const RunResult result = RunTambril(args, dir.path());

    const double inner =
        setup.thresholds.size() >= 1 ? std::atof(setup.thresholds[0].c_str()) : 5e-6;
    const double outer =
        setup.thresholds.size() >= 2 ? std::atof(setup.thresholds[1].c_str()) : 0.01;
    const Expected expected = Predict(dir.File("param.txt"), dir.File("circuit.net"), inner, outer);
    CheckOutputs(dir, setup.library, "circuit.result", result, expected);
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"circuit.net", "circuit.result",
                                                             "convergence.txt", "param.txt"}));
  }
}

TEST(EndToEnd, ResultInAMissingDirectoryIsAFileError) {
  TempDir dir;
  WriteFile(dir.File("param.txt"), kLibrary);
  WriteFile(dir.File("circuit.net"), kReconvergent);
  const RunResult result = RunTambril({"circuit.net", "missing/circuit.result"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "File Error: missing/circuit.result could not be opened\n");
  EXPECT_EQ(result.out, LibraryEcho(kLibrary));
  // Neither the result nor the log was created.
  EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"circuit.net", "param.txt"}));
}

TEST(EndToEnd, ResultOnAFullDeviceIsAWriteError) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteFile(dir.File("param.txt"), kLibrary);
  WriteFile(dir.File("circuit.net"), kReconvergent);
  const RunResult result = RunTambril({"circuit.net", "/dev/full"}, dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "File Error: /dev/full could not be written\n");
}

TEST(EndToEnd, ASecondRunReplacesBothFiles) {
  TempDir dir;
  WriteFile(dir.File("param.txt"), kLibrary);
  WriteFile(dir.File("long.net"), kReconvergent);
  WriteFile(dir.File("short.net"), kSingleInverter);
  // A first run with many log lines and gate lines...
  const RunResult first = RunTambril({"long.net", "out.result", "1e-6", "1e-7"}, dir.path());
  ASSERT_EQ(first.exitCode, 0);
  const Expected longRun = Predict(dir.File("param.txt"), dir.File("long.net"), 1e-6, 1e-7);
  ASSERT_GT(longRun.run.iterations, 2);
  // ...then a shorter one into the same files: nothing of the first may remain.
  const RunResult second = RunTambril({"short.net", "out.result"}, dir.path());
  const Expected shortRun = Predict(dir.File("param.txt"), dir.File("short.net"), 5e-6, 0.01);
  CheckOutputs(dir, kLibrary, "out.result", second, shortRun);
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
    TempDir dir;
    WriteFile(dir.File("param.txt"), random.library);
    WriteFile(dir.File("circuit.net"), random.netlist);
    const RunResult result = RunTambril({"circuit.net", "circuit.result"}, dir.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;

    // Sizes and delay as reported.
    const std::vector<std::string> lines = Lines(ReadFile(dir.File("circuit.result")));
    ASSERT_EQ(lines.size(), 13u + random.gateCount);
    const std::string delayKey = "Maximum Delay (s): ";
    ASSERT_EQ(lines[6].rfind(delayKey, 0), 0u);
    const std::string reportedDelay = lines[6].substr(delayKey.size());
    const auto netlist = LoadCircuit(dir.File("param.txt"), dir.File("circuit.net"));
    std::vector<double> reportedSizes(netlist->parts.size(), 0.0);
    for (size_t k = 13; k < lines.size(); ++k) {
      std::istringstream fields(lines[k]);
      int id = 0;
      std::string name;
      double size = 0.0;
      fields >> id >> name >> size;
      ASSERT_TRUE(id >= 1 && id <= static_cast<int>(reportedSizes.size())) << lines[k];
      reportedSizes[id - 1] = size;
    }

    // Timing of the printed sizes (six digits each): close to the printed delay.
    ReferenceOptimizer timing = ReferenceFor(*netlist);
    const double delay = timing.TimeWithSizes(reportedSizes);
    const double printed = std::strtod(reportedDelay.c_str(), nullptr);
    EXPECT_NEAR(delay, printed, 5e-5 * printed);

    // Timing of the exact sizes the oracle's run ends with: the printed delay to six digits.
    ReferenceOptimizer run = ReferenceFor(*netlist);
    run.SolveLDP();
    std::vector<double> exactSizes(run.parts.size(), 0.0);
    for (const PartType& part : run.parts) exactSizes[part.gate.id - 1] = part.gate.size;
    ReferenceOptimizer exactTiming = ReferenceFor(*netlist);
    EXPECT_EQ(FormatG(exactTiming.TimeWithSizes(exactSizes)), reportedDelay);

    // Every logged lower bound is at most its upper bound (rounding aside).
    const std::vector<std::string> log = Lines(ReadFile(dir.File("convergence.txt")));
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
