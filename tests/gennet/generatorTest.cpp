// The random netlist generator: sound netlists of the requested shape, the tightest output
// targets, and bytes that depend only on the options and the seed.
#include <string>

#include "gennet/generator.h"
#include "gtest/gtest.h"
#include "io/error.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

std::string Render(const gennet::Options& options) {
  std::string text;
  gennet::WriteNetlist(gennet::Generate(options), [&](std::string_view chunk) { text += chunk; });
  return text;
}

gennet::Options Shape(std::uint32_t gates, std::uint32_t inputs, std::uint32_t outputs,
                      std::uint32_t maxFanin, std::uint32_t depth, std::uint64_t seed = 1) {
  gennet::Options options;
  options.gates = gates;
  options.seed = seed;
  options.inputs = inputs;
  options.outputs = outputs;
  options.maxFanin = maxFanin;
  options.depth = depth;
  return options;
}

struct Case {
  const char* name;
  gennet::Options options;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class GennetShape : public testing::TestWithParam<Case> {};

TEST_P(GennetShape, IsSoundWithTheRequestedCounts) {
  const gennet::Options& options = GetParam().options;
  for (std::uint64_t seed : {1u, 2u, 77u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    gennet::Options seeded = options;
    seeded.seed = seed;
    NetlistSummary summary;
    EXPECT_EQ(CheckNetlist(Render(seeded), &summary), std::vector<std::string>());
    EXPECT_EQ(summary.gates, options.gates);
    EXPECT_EQ(summary.inputs,
              options.inputs ? options.inputs : gennet::DefaultInputs(options.gates));
    EXPECT_EQ(summary.outputs == options.outputs, options.outputs != 0);
    EXPECT_EQ(summary.depth, options.depth ? options.depth : gennet::DefaultDepth(options.gates));
    EXPECT_LE(summary.maxFanin, options.maxFanin);
    // With two or more pins per gate there are enough pins to read every input.
    if (options.maxFanin >= 2 && summary.inputs <= options.gates) {
      EXPECT_EQ(summary.unusedInputs, 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Gennet, GennetShape,
                         testing::Values(Case{"SingleGate", Shape(1, 0, 0, 4, 0)},
                                         Case{"Defaults", Shape(20000, 0, 0, 4, 0)},
                                         Case{"Chain", Shape(300, 0, 0, 4, 300)},
                                         Case{"OneLevel", Shape(300, 0, 0, 4, 1)},
                                         Case{"OneLevelAllOutputs", Shape(300, 0, 300, 4, 1)},
                                         Case{"SingleOutput", Shape(3000, 0, 1, 4, 0)},
                                         Case{"FaninOne", Shape(2000, 0, 0, 1, 0)},
                                         Case{"FaninOneOutputTarget", Shape(1000, 0, 100, 1, 10)},
                                         Case{"FaninTwoSingleOutput", Shape(1000, 0, 1, 2, 10)},
                                         Case{"FaninSixteen", Shape(3000, 0, 0, 16, 0)},
                                         Case{"OneInput", Shape(1000, 1, 0, 4, 0)},
                                         Case{"MoreInputsThanPins", Shape(500, 5000, 0, 4, 0)},
                                         Case{"DeepAndNarrow", Shape(5000, 0, 0, 4, 2000)},
                                         Case{"ShallowAndWide", Shape(5000, 200, 1300, 3, 3)}),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// The smallest output counts that fit: one level of gates that all drive nothing; two levels of
// 4-input gates (O + 4 O >= 1000); chains of 1-input gates (30 O >= 1000).
TEST(Gennet, FitsTheTightestOutputTargetAndRefusesBelow) {
  for (const gennet::Options& tightest :
       {Shape(300, 0, 300, 4, 1, 5), Shape(1000, 0, 200, 4, 2, 5), Shape(1000, 0, 34, 1, 30, 5)}) {
    NetlistSummary summary;
    EXPECT_EQ(CheckNetlist(Render(tightest), &summary), std::vector<std::string>());
    EXPECT_EQ(summary.outputs, tightest.outputs);
    gennet::Options fewer = tightest;
    --fewer.outputs;
    EXPECT_THROW(Render(fewer), Error);
  }
}

// A seed names the same benchmark on every platform and in later builds: this pins both the
// random stream and the file layout, on standard output and in a file alike. Change it only
// together with a note that netlists of the same seed changed.
TEST(Gennet, BytesMatchTheRecordedNetlists) {
  EXPECT_EQ(Render(Shape(6, 0, 0, 4, 0, 2024)),
            "6 0 0 2 10\npri 2 0\nXNOR 1 3 7 0 0 7 0 0 1 0 0\nINV 2 1 2 0 0\npri 1 0\n"
            "NOR 1 2 10 0 0 10 0 0\npri 1 0\nNAND 2 4 8 0 0 1 0 0 6 0 0 4 0 0\npri 1 0\n"
            "po AND 0 2 5 0 0 10 0 0\npo OR 3 2 3 0 0 3 0 0\n");
  const std::string text = Render(Shape(5000, 0, 300, 16, 0, 99));
  std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
  EXPECT_EQ(hash, 0x297d280db7e12d5cULL) << std::hex << hash;

  TempDir dir;
  const RunResult toOutput = RunCommand(
      "gennet", {"--gates", "5000", "--seed=99", "--max-fanin", "16", "--outputs", "300"},
      dir.Path());
  const RunResult toFile = RunCommand(
      "gennet",
      {"--outputs=300", "-o", "x.net", "--max-fanin=16", "--seed", "99", "--gates", "5000"},
      dir.Path());
  EXPECT_TRUE(toOutput.out == text);
  EXPECT_TRUE(ReadFile(dir.File("x.net")) == text);
  EXPECT_EQ(toFile.out + toFile.err + toOutput.err, "");
}

}  // namespace
}  // namespace tambril::test
