// The .bench front end (what bench2net and tambril-import make of ISCAS files), in process:
// netlists worked out by hand, one error line per fault, and a chain deeper than any stack.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "import/convert.h"
#include "io/error.h"
#include "testSupport.h"

namespace {

using tambril::test::CheckNetlist;

struct Result {
  bool ok = false;
  std::string netlist;
  std::string error;  // the error line without "bench2net: "
};

Result ConvertText(const std::string& bench) {
  tambril::import::ImportOptions options;
  options.tool = "bench2net";
  Result result;
  try {
    result.netlist = tambril::import::ConvertText(bench, "t.bench", options).netlist;
    result.ok = true;
  } catch (const tambril::Error& e) {
    result.error = std::string(e.what()).substr(std::string("bench2net: ").size());
  }
  return result;
}

struct Case {
  const char* name;
  const char* bench;
  const char* expected;  // the netlist, or the error line
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Each netlist below is worked out by hand from the node order: inputs, DFF outputs, gates,
// added BUFs.
const Case kConversions[] = {
    // The DFF output q is input 2, its data input d an output; the loop through q is cut.
    {"DffCut", "INPUT(a)\nOUTPUT(z)\nq = DFF(d)\nd = NAND(a, q)\nz = NOT(d)\n",
     "2 0 0 2 4\npri 1 0\npri 1 0\npo NAND 1 2 1 0 0 2 0 0\npo INV 0 1 3 0 0\n"},
    // Output a is an input: a BUF of its own, which adds to a's fan-out.
    {"OutputIsInput", "INPUT(a)\nINPUT(b)\nOUTPUT(a)\nOUTPUT(y)\ny = AND(a, b)\n",
     "2 0 0 2 4\npri 2 0\npri 1 0\npo AND 0 2 1 0 0 2 0 0\npo BUF 0 1 1 0 0\n"},
    {"OutputDrivesGates", "INPUT(a)\nOUTPUT(x)\nOUTPUT(y)\nx = NOT(a)\ny = BUFF(x)\n",
     "2 0 0 2 3\npri 1 0\npo INV 1 1 1 0 0\npo BUF 0 1 2 0 0\n"},
    {"OutputListedTwiceAndDffData", "INPUT(a)\nOUTPUT(y)\nOUTPUT(y)\nq = DFF(y)\ny = OR(a, q)\n",
     "1 0 0 1 3\npri 1 0\npri 1 0\npo OR 0 2 1 0 0 2 0 0\n"},
    // BUFs in output order: OUTPUT q2, then the DFF data inputs a and q1 (a once).
    {"DffChains",
     "INPUT(a)\nOUTPUT(q2)\nq1 = DFF(a)\nq2 = DFF(q1)\nq3 = DFF(a)\ny = XNOR(q1, q3)\nOUTPUT(y)\n",
     "4 0 0 4 8\npri 1 0\npri 2 0\npri 1 0\npri 1 0\npo XNOR 0 2 2 0 0 4 0 0\n"
     "po BUF 0 1 3 0 0\npo BUF 0 1 1 0 0\npo BUF 0 1 2 0 0\n"},
    {"RepeatedInputCountsTwice", "INPUT(a)\nOUTPUT(y)\ny = AND(a, a)\n",
     "1 0 0 1 2\npri 2 0\npo AND 0 2 1 0 0 1 0 0\n"},
    {"UseBeforeDefinition", "OUTPUT(z)\nz = NAND(m, b)\nm = NOR(a, b)\nINPUT(a)\nINPUT(b)\n",
     "2 0 0 1 4\npri 1 0\npri 2 0\npo NAND 0 2 4 0 0 2 0 0\nNOR 1 2 1 0 0 2 0 0\n"},
    {"SpacingCaseAndLineEnds",
     "\xEF\xBB\xBF# header\r\ninput( a )\r\n  INPUT\t(b.1)\r\nOUTPUT(y[0])   # comment\r\nn = "
     "not(a)\r\n"
     "m=BUFF(b.1)\n\n\t\nk = BUF( n )\ny[0] = xor ( n ,m,\tk )",
     "4 0 0 1 6\npri 1 0\npri 1 0\nINV 2 1 1 0 0\nBUF 1 1 2 0 0\nBUF 1 1 3 0 0\n"
     "po XOR 0 3 3 0 0 4 0 0 5 0 0\n"},
};

class Conversion : public ::testing::TestWithParam<Case> {};

TEST_P(Conversion, WritesTheNetlistWorkedByHand) {
  const Result result = ConvertText(GetParam().bench);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.netlist, GetParam().expected);
  EXPECT_TRUE(CheckNetlist(result.netlist).empty());
}

INSTANTIATE_TEST_SUITE_P(Bench2net, Conversion, ::testing::ValuesIn(kConversions),
                         [](const auto& info) { return std::string(info.param.name); });

const Case kErrors[] = {
    {"UnknownGateType", "INPUT(a)\nOUTPUT(y)\ny = FOO(a)\n", "t.bench:3: unknown gate type 'FOO'"},
    {"UndefinedGateInput", "INPUT(a)\nOUTPUT(y)\ny = AND(a, b)\nz = NOT(b)\n",
     "t.bench:3: signal 'b' is used but never defined"},
    {"UndefinedOutput", "INPUT(a)\nOUTPUT(y)\n", "t.bench:2: signal 'y' is used but never defined"},
    {"UndefinedDffData", "INPUT(a)\nOUTPUT(q)\nq = DFF(d)\n",
     "t.bench:3: signal 'd' is used but never defined"},
    {"GateDefinedTwice", "INPUT(a)\nOUTPUT(y)\ny = NOT(a)\ny = BUFF(a)\n",
     "t.bench:4: signal 'y' defined twice (first at line 3)"},
    {"InputListedTwice", "INPUT(a)\nINPUT(a)\n",
     "t.bench:2: signal 'a' defined twice (first at line 1)"},
    {"InputAndDff", "INPUT(a)\nOUTPUT(a)\na = DFF(a)\n",
     "t.bench:3: signal 'a' defined twice (first at line 1)"},
    {"SelfLoop", "INPUT(a)\nOUTPUT(y)\ny = AND(a, y)\n", "t.bench:3: combinational cycle: y -> y"},
    // z reads the cycle but is not on it; the cycle is named from its first gate in the file.
    {"CycleBehindAGate", "INPUT(a)\nOUTPUT(z)\nz = NOT(c1)\nc2 = NOT(c1)\nc1 = AND(a, c2)\n",
     "t.bench:4: combinational cycle: c2 -> c1 -> c2"},
    {"NoInputs", "INPUT(a)\ny = AND()\n", "t.bench:2: gate 'y' has no inputs"},
    {"NoInputsBlank", "INPUT(a)\ny = NOT( )\n", "t.bench:2: gate 'y' has no inputs"},
    {"InverterOfTwo", "INPUT(a)\ny = NOT(a, a)\n",
     "t.bench:2: NOT gate 'y' has 2 inputs, expected 1"},
    {"DffOfTwo", "INPUT(a)\nq = dff(a, a)\n", "t.bench:2: DFF gate 'q' has 2 inputs, expected 1"},
    {"EmptyFile", "", "t.bench: circuit has no outputs"},
    {"NoOutputs", "# inputs only\nINPUT(a)\n", "t.bench: circuit has no outputs"},
    // Errors of one line come first, in line order, then undefined signals.
    {"FirstLineErrorWins", "OUTPUT(y)\ny = NOT(x)\nz = FOO(a)\nz = AND(\n",
     "t.bench:3: unknown gate type 'FOO'"},
};

class ConversionError : public ::testing::TestWithParam<Case> {};

TEST_P(ConversionError, ReportsOneLineAndNoNetlist) {
  const Result result = ConvertText(GetParam().bench);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, GetParam().expected);
  EXPECT_EQ(result.netlist, "");
}

INSTANTIATE_TEST_SUITE_P(Bench2net, ConversionError, ::testing::ValuesIn(kErrors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Bench2net, MalformedLines) {
  const char* const kGate = "malformed gate line, expected 'name = GATE(input, ...)'";
  const char* const kAny =
      "malformed line, expected 'INPUT(name)', 'OUTPUT(name)' or 'name = GATE(input, ...)'";
  const std::pair<const char*, std::string> kLines[] = {
      {"INPUT(b", "malformed INPUT line, expected 'INPUT(name)'"},
      {"OUTPUT(a b)", "malformed OUTPUT line, expected 'OUTPUT(name)'"},
      {"OUTPUT a", kAny},
      {"y AND(a)", kAny},
      {"AND(a, a)", kAny},
      {"<html><head>", kAny},
      {"y = AND(a,,a)", kGate},
      {"y = AND(a, a", kGate},
      {"y = AND(a) z", kGate},
      {"y = (a)", kGate},
      {"y = AND(a,)", kGate},
  };
  for (const auto& [line, message] : kLines) {
    const Result result = ConvertText(std::string("INPUT(a)\n") + line + "\nOUTPUT(a)\n");
    EXPECT_FALSE(result.ok) << line;
    EXPECT_EQ(result.error, "t.bench:2: " + message) << line;
  }
}

// Standard output as bench2net's output: never the input file, and a failed write an error.
TEST(Bench2net, StandardOutput) {
  using namespace tambril::test;
  const std::pair<const char*, const char*> kCases[] = {
      {" >> x.bench", "bench2net: the output would replace the input 'x.bench'\n"},
      {" > /dev/full", "bench2net: error writing the netlist to standard output\n"},
  };
  const std::string bench = "INPUT(a)\nOUTPUT(y)\ny = NOT(a)\n";
  for (const auto& [redirect, error] : kCases) {
    TempDir dir;
    WriteFile(dir.File("x.bench"), bench);
    const RunResult run = RunCommand(
        "/bin/sh", {"-c", std::string("exec \"$0\" x.bench") + redirect, ProgramPath("bench2net")},
        dir.Path(), RunOptions());
    EXPECT_EQ(run.exitCode, 1) << redirect;
    EXPECT_EQ(run.err, error);
    EXPECT_EQ(ReadFile(dir.File("x.bench")), bench);
  }
}

// A chain deeper than any call stack: converted, and closed into a cycle, without recursion.
TEST(Bench2net, DeepChain) {
  constexpr int kDepth = 200000;
  std::string bench = "INPUT(a)\nOUTPUT(g" + std::to_string(kDepth) + ")\ng1 = NOT(a)\n";
  for (int i = 2; i <= kDepth; ++i) {
    bench += "g" + std::to_string(i) + " = NOT(g" + std::to_string(i - 1) + ")\n";
  }
  const Result result = ConvertText(bench);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.netlist.substr(0, 32), "200000 0 0 1 200001\npri 1 0\nINV ");
  EXPECT_TRUE(CheckNetlist(result.netlist).empty());

  bench.replace(bench.find("g1 = NOT(a)"), 11, "g1 = AND(a, g" + std::to_string(kDepth) + ")");
  EXPECT_EQ(ConvertText(bench).error,
            "t.bench:3: combinational cycle: g1 -> g2 -> g3 -> g4 -> g5 -> g6 -> g7 -> g8 -> ... "
            "-> g1 (200000 gates)");
}

}  // namespace
