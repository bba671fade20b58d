// The gennet executable: where its output goes and how it refuses bad command lines.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "generator.h"

namespace {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

// A path in the test scratch directory, unique to this test and this run.
std::string scratchPath(const std::string& suffix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "_" + test->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  static const unsigned tag = std::random_device()();
  return testing::TempDir() + "gennet_" + name + "_" + std::to_string(tag) + suffix;
}

// Runs gennet with `args` (already quoted for the shell), standard output going to `outPath`
// (a scratch file read back into RunResult::out when empty).
RunResult runGennet(const std::string& args, std::string outPath = "") {
  const bool captureOut = outPath.empty();
  if (captureOut) outPath = scratchPath(".out");
  const std::string errPath = scratchPath(".err");
  const std::string command =
      std::string("'") + GENNET_EXE + "' " + args + " >'" + outPath + "' 2>'" + errPath + "'";
  const int status = std::system(command.c_str());
  RunResult run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = readFile(errPath);
  if (captureOut) {
    run.out = readFile(outPath);
    std::remove(outPath.c_str());
  }
  std::remove(errPath.c_str());
  return run;
}

std::string inProcess(uint32_t gates, uint64_t seed, uint32_t outputs) {
  gennet::Options options;
  options.gates = gates;
  options.seed = seed;
  options.outputs = outputs;
  gennet::Netlist netlist;
  std::string error;
  if (!gennet::generate(options, netlist, error)) {
    ADD_FAILURE() << error;
    return "";
  }
  std::string text;
  gennet::writeNetlist(netlist, [&text](const char* data, size_t size) {
    text.append(data, size);
    return true;
  });
  return text;
}

void expectOneLineError(const RunResult& run) {
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.compare(0, 8, "gennet: "), 0) << run.err;
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

TEST(GennetCommand, WritesTheSameNetlistToStandardOutputAndToAFile) {
  const std::string expected = inProcess(2000, 9, 30);
  const RunResult toStdout = runGennet("--gates 2000 --seed 9 --outputs 30");
  EXPECT_EQ(toStdout.exitCode, 0);
  EXPECT_EQ(toStdout.err, "");
  EXPECT_TRUE(toStdout.out == expected);

  const std::string path = scratchPath(".net");
  const RunResult toFile = runGennet("--outputs=30 -o '" + path + "' --seed=9 --gates=2000");
  EXPECT_EQ(toFile.exitCode, 0);
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(toFile.err, "");
  EXPECT_TRUE(readFile(path) == expected);
  std::remove(path.c_str());

  const RunResult largestSeed = runGennet("--gates 5 --seed 18446744073709551615");
  EXPECT_EQ(largestSeed.exitCode, 0);
  EXPECT_EQ(largestSeed.out, inProcess(5, 18446744073709551615ULL, 0));
}

TEST(GennetCommand, HelpGoesToStandardOutput) {
  const RunResult help = runGennet("--gates 5 --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_NE(help.out.find("usage: gennet --gates N --seed S"), std::string::npos);
}

struct BadUsage {
  const char* name;
  const char* args;
};

class GennetCommandRefuses : public testing::TestWithParam<BadUsage> {};

TEST_P(GennetCommandRefuses, WithOneLineOnStandardError) {
  expectOneLineError(runGennet(GetParam().args));
}

INSTANTIATE_TEST_SUITE_P(
    BadUsage, GennetCommandRefuses,
    testing::Values(BadUsage{"NoArguments", ""}, BadUsage{"MissingSeed", "--gates 10"},
                    BadUsage{"MissingGates", "--seed 1"},
                    BadUsage{"ZeroGates", "--gates 0 --seed 1"},
                    BadUsage{"TooManyGates", "--gates 100000001 --seed 1"},
                    BadUsage{"GatesNotANumber", "--gates ten --seed 1"},
                    BadUsage{"TrailingJunk", "--gates 5x --seed 1"},
                    BadUsage{"SeedOverflow", "--gates 5 --seed 18446744073709551616"},
                    BadUsage{"FaninSeventeen", "--gates 5 --seed 1 --max-fanin 17"},
                    BadUsage{"InputsZero", "--gates 5 --seed 1 --inputs 0"},
                    BadUsage{"OutputsZero", "--gates 5 --seed 1 --outputs 0"},
                    BadUsage{"OutputsAboveGates", "--gates 10 --seed 1 --outputs 11"},
                    BadUsage{"DepthAboveGates", "--gates 10 --seed 1 --depth 11"},
                    BadUsage{"UnknownOption", "--gates 5 --seed 1 --colour red"},
                    BadUsage{"PositionalArgument", "--gates 5 --seed 1 extra"},
                    BadUsage{"MissingValue", "--gates 5 --seed"},
                    BadUsage{"GivenTwice", "--gates 5 --gates 5 --seed 1"},
                    BadUsage{"EmptyFileName", "--gates 5 --seed 1 -o ''"},
                    BadUsage{"UnreachableOutputs", "--gates 300 --seed 1 --depth 1 --outputs 299"},
                    BadUsage{"UnwritableFile",
                             "--gates 5 --seed 1 -o /nonexistent-gennet-dir/x.net"}),
    [](const testing::TestParamInfo<BadUsage>& info) { return std::string(info.param.name); });

TEST(GennetCommand, FailedRunsLeaveNoFile) {
  const std::string path = scratchPath(".net");
  expectOneLineError(runGennet("--gates 300 --seed 1 --depth 1 --outputs 299 -o '" + path + "'"));
  EXPECT_FALSE(fileExists(path));
  // A full disk: the error is reported, and a file that was there before stays.
  if (fileExists("/dev/full")) {
    expectOneLineError(runGennet("--gates 20000 --seed 1", "/dev/full"));
    expectOneLineError(runGennet("--gates 20000 --seed 1 -o /dev/full"));
    EXPECT_TRUE(fileExists("/dev/full"));
  }
}

}  // namespace
