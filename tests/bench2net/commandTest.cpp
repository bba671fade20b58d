#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "netlistCheck.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// Each test works in a directory of its own, since ctest runs tests in parallel.
class Bench2netCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("bench2net_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the built bench2net with `args` (already quoted for the shell).
  Outcome RunTool(const std::string& args) const {
    const std::string command = std::string("'") + BENCH2NET_EXE + "' " + args + " >'" +
                                (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir_ / "out"), ReadFile(dir_ / "err")};
  }

  std::string WriteBench(const std::string& name, const std::string& text) const {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  fs::path dir_;
};

TEST_F(Bench2netCommand, ConvertsToStandardOutput) {
  const Outcome run = RunTool("'" + WriteBench("c17.bench", kC17Bench) + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kC17Net);
  EXPECT_EQ(run.err, "");
}

// Whatever the stage that finds the fault, standard output stays empty.
TEST_F(Bench2netCommand, ErrorsGiveOneLineAndExitStatusOne) {
  const fs::path missing = dir_ / "no_such.bench";
  const std::string bad = WriteBench("bad.bench", "INPUT(a)\nOUTPUT(y)\ny = FOO(a)\n");
  const std::string cycle =
      WriteBench("loop.bench", "INPUT(a)\nOUTPUT(y)\nx = OR(a, y)\ny = NOT(x)\n");
  const std::string usage = "bench2net: usage: bench2net CIRCUIT.bench > CIRCUIT.net\n";
  const std::pair<std::string, std::string> kRuns[] = {
      {"'" + bad + "'", "bench2net: " + bad + ":3: unknown gate type 'FOO'\n"},
      {"'" + cycle + "'", "bench2net: " + cycle + ":3: combinational cycle: x -> y -> x\n"},
      {"'" + missing.string() + "'",
       "bench2net: cannot open '" + missing.string() + "': No such file or directory\n"},
      {"'" + dir_.string() + "'",
       "bench2net: cannot read '" + dir_.string() + "': is a directory\n"},
      {"", usage},
      {"'" + bad + "' '" + bad + "'", usage},
  };
  for (const auto& [args, err] : kRuns) {
    const Outcome run = RunTool(args);
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_EQ(run.out, "") << args;
    EXPECT_EQ(run.err, err) << args;
  }
}

// The shipped examples are sound netlists and, where the benchmark circuits are at hand, what
// bench2net makes of them today.
TEST_F(Bench2netCommand, ExamplesAreCurrent) {
  const fs::path benchmarks = BENCH2NET_BENCHMARKS;
  const bool haveBenchmarks = fs::is_directory(benchmarks / "iscas85");
  for (const char* name :
       {"c17", "c432", "c499", "c880", "c1355", "c1908", "c2670", "c3540", "c5315", "c6288",
        "c7552", "s13207", "s15850", "s35932", "s38417", "s38584"}) {
    const std::string net = ReadFile(fs::path(BENCH2NET_EXAMPLES) / (std::string(name) + ".net"));
    ASSERT_FALSE(net.empty()) << name;
    EXPECT_EQ(CheckNetlist(net), "") << name;
    if (!haveBenchmarks) continue;
    const fs::path bench =
        benchmarks / (name[0] == 'c' ? "iscas85" : "iscas89") / (std::string(name) + ".bench");
    const Outcome run = RunTool("'" + bench.string() + "'");
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_TRUE(run.out == net) << name << ": regenerate with tools/convert-examples";
  }
  EXPECT_EQ(ReadFile(fs::path(BENCH2NET_EXAMPLES) / "c17.net"), kC17Net);
}

}  // namespace
