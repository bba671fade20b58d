// The command line, through the built program: arguments, thresholds, what is written to the
// terminal, and which files exist after a run or a refused one.
#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support.h"

namespace {

using tambril_test::FileExists;
using tambril_test::ListDir;
using tambril_test::ReadFile;
using tambril_test::RunResult;
using tambril_test::RunTambril;
using tambril_test::TempDir;
using tambril_test::WriteFile;

const char kLibrary[] =
    "Name\tInputs\tCin\tR\tCout\tV4\tV5\n"
    "NAND\t2\t0.003\t0.00000001\t0.002\t0\t0\nINV\t1\t0.002\t0.000000008\t0.0015\t0\t0\n";

// c17: six NAND gates, two outputs, enough for the outer loop to take several passes.
const std::string kCircuit = ReadFile(std::string(TAMBRIL_EXAMPLES) + "/c17.net");

const char kUsage[] =
    "Usage Error: TAMBRIL [input filename] [output filename] [*innerloop %improvement] "
    "[*outerloop %improvement]\n"
    "* Indicates optional field\n";

// A working directory holding the library and the circuit.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(kCircuit.empty()) << "no examples/c17.net";
    WriteFile(dir.File("param.txt"), kLibrary);
    WriteFile(dir.File("c.net"), kCircuit);
  }

  RunResult Run(const std::vector<std::string>& args) { return RunTambril(args, dir.path()); }

  TempDir dir;
};

// What a completed run wrote to standard output.
struct Completed {
  bool ok = false;
  int dots = 0;
  int iterations = 0;
};

Completed ParseRun(const std::string& out) {
  static const std::regex pattern(
      "^Running TAMBRIL NAND\nINV\n(\\.+) Done!\nTotal number of iteration: ([0-9]+)\n\n$");
  std::smatch match;
  Completed completed;
  if (!std::regex_match(out, match, pattern)) return completed;
  completed.ok = true;
  completed.dots = static_cast<int>(match[1].length());
  completed.iterations = std::stoi(match[2]);
  return completed;
}

// Lines of the convergence log after its two heading lines.
int LogLines(const std::string& log) {
  int lines = 0;
  for (char c : log) lines += c == '\n';
  return lines - 2;
}

TEST_F(CliTest, TooFewArgumentsShowUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"c.net"}}) {
    SCOPED_TRACE(args.size());
    const RunResult run = Run(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kUsage);
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"c.net", "param.txt"}));
  }
}

TEST_F(CliTest, DefaultRun) {
  const RunResult run = Run({"c.net", "c.out"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  const Completed completed = ParseRun(run.out);
  ASSERT_TRUE(completed.ok) << run.out;
  EXPECT_GT(completed.iterations, 2);  // the default outer threshold takes several passes
  EXPECT_EQ(completed.dots, completed.iterations + 1);
  EXPECT_EQ(ListDir(dir.path()),
            (std::vector<std::string>{"c.net", "c.out", "convergence.txt", "param.txt"}));
  const std::string log = ReadFile(dir.File("convergence.txt"));
  EXPECT_EQ(log.rfind("Lower Bound\tUpper Bound\n===========\t===========\n", 0), 0u) << log;
  EXPECT_EQ(LogLines(log), completed.dots);  // one line per pass, like the dots
  EXPECT_EQ(ReadFile(dir.File("c.out")).rfind("TAMBRIL ran on ", 0), 0u);
}

TEST_F(CliTest, Thresholds) {
  // Each run is compared by its convergence log, which depends on nothing but the input.
  auto logOf = [&](const std::vector<std::string>& extra, Completed* completed = nullptr) {
    std::vector<std::string> args = {"c.net", "c.out"};
    args.insert(args.end(), extra.begin(), extra.end());
    const RunResult run = Run(args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const Completed parsed = ParseRun(run.out);
    EXPECT_TRUE(parsed.ok) << run.out;
    EXPECT_EQ(parsed.dots, parsed.iterations + 1);
    if (completed != nullptr) *completed = parsed;
    return ReadFile(dir.File("convergence.txt"));
  };
  const std::string base = logOf({});
  using Args = std::vector<std::string>;
  // The default thresholds; atof reads the leading number; five or more arguments keep both.
  for (const Args& extra : {Args{"0.000005"}, Args{"5e-6", "0.01x"}, Args{"1", "1", "extra"}}) {
    EXPECT_EQ(logOf(extra), base) << ::testing::PrintToString(extra);
  }
  EXPECT_NE(logOf({"1"}), base);  // the inner threshold is used
  // Text that is no number reads as 0.
  EXPECT_EQ(logOf({"5e-6", "zz"}), logOf({"5e-6", "0"}));
  EXPECT_EQ(logOf({"abc", "zz"}), logOf({"0", "0"}));

  // An outer threshold of 1 is met after the first pass of the loop; thresholds of 0 or below
  // still end, within 1000 passes.
  Completed completed;
  EXPECT_EQ(LogLines(logOf({"0", "1"}, &completed)), 3);
  EXPECT_EQ(completed.iterations, 2);
  for (const Args& extra : {Args{"0", "0"}, Args{"-1", "-1"}}) {
    logOf(extra, &completed);
    EXPECT_LE(completed.iterations, 1001) << ::testing::PrintToString(extra);
  }
}

TEST_F(CliTest, FileNamesOfAnyLength) {
  // Deep relative paths, well beyond any fixed buffer, for the circuit and the result.
  std::string deep = dir.path();
  std::string relative;
  for (int level = 0; level < 6; ++level) {
    const std::string part = std::string(120, static_cast<char>('a' + level));
    deep += "/" + part;
    relative += (relative.empty() ? "" : "/") + part;
    ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0);
  }
  const std::string netlist = relative + "/" + std::string(200, 'n') + ".net";
  const std::string result = relative + "/" + std::string(200, 'r') + ".out";
  WriteFile(dir.File(netlist), kCircuit);
  const RunResult run = Run({netlist, result});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(ParseRun(run.out).ok) << run.out;
  EXPECT_EQ(ReadFile(dir.File(result)).rfind("TAMBRIL ran on ", 0), 0u);

  const std::string missing = relative + "/" + std::string(250, 'm');
  const RunResult refused = Run({missing, result});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err, "File Error: " + missing + " could not be opened\n");
}

TEST_F(CliTest, RefusedInputLeavesOutputFilesAlone) {
  struct Case {
    const char* what;
    const char* netlist;  // nullptr: no such file
    std::string err;
  };
  const Case cases[] = {
      {"missing netlist", nullptr, "File Error: bad.net could not be opened\n"},
      {"short node line", "2 0 0 1 2\npri 1 0\npo NAND 0 2 1 0 0\n",
       "Format Error: bad.net could not be parsed\n"},
      {"unknown type", "2 0 0 1 2\npri 1 0\npo XOR 0 1 1 0 0\n",
       "Data Error: [XOR] could not be read\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir fresh;
    WriteFile(fresh.File("param.txt"), kLibrary);
    if (c.netlist != nullptr) WriteFile(fresh.File("bad.net"), c.netlist);
    const std::vector<std::string> before = ListDir(fresh.path());

    RunResult run = RunTambril({"bad.net", "bad.out"}, fresh.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Running TAMBRIL NAND\nINV\n");
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(ListDir(fresh.path()), before);

    // Existing output files keep their contents.
    WriteFile(fresh.File("bad.out"), "earlier result\n");
    WriteFile(fresh.File("convergence.txt"), "earlier log\n");
    run = RunTambril({"bad.net", "bad.out", "0.1", "0.1"}, fresh.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(ReadFile(fresh.File("bad.out")), "earlier result\n");
    EXPECT_EQ(ReadFile(fresh.File("convergence.txt")), "earlier log\n");
  }
}

TEST_F(CliTest, LibraryIsReadFromTheWorkingDirectory) {
  // A library next to the circuit is not the one used.
  TempDir elsewhere;
  WriteFile(elsewhere.File("c.net"), kCircuit);
  WriteFile(elsewhere.File("param.txt"), "header\nXOR\t2\t1\t1\t1\t0\t0\n");
  const RunResult run = Run({elsewhere.File("c.net"), "c.out"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(ParseRun(run.out).ok) << run.out;
  EXPECT_TRUE(FileExists(dir.File("c.out")));
  EXPECT_FALSE(FileExists(elsewhere.File("c.out")));
  EXPECT_FALSE(FileExists(elsewhere.File("convergence.txt")));
}

}  // namespace
