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

// The other families: the dag shape and the options that change the mix. Every gate drives
// a pin or is an output, the counts are those asked for (a dag's by default gates / 20 inputs
// and gates / 40 outputs), and a dag keeps its fan-out cap.
gennet::Options Family(std::uint32_t gates, gennet::Shape shape, gennet::TypeMix types,
                       gennet::FanoutPick fanout, std::uint32_t maxFanout = 0,
                       std::uint32_t reconvergence = 0, std::uint32_t window = 0,
                       std::uint32_t outputs = 0, std::uint32_t inputs = 0) {
  gennet::Options options;
  options.gates = gates;
  options.shape = shape;
  options.types = types;
  options.faninMix =
      types == gennet::TypeMix::kEven ? gennet::FaninMix::kEven : gennet::FaninMix::kSkewed;
  options.maxFanin = types == gennet::TypeMix::kXorHeavy ? 9 : 4;
  options.fanout = fanout;
  options.maxFanout = maxFanout;
  options.reconvergence = reconvergence;
  options.window = window;
  options.outputs = outputs;
  options.inputs = inputs;
  return options;
}

TEST(Gennet, FamiliesAreSound) {
  using gennet::FanoutPick;
  using gennet::Shape;
  using gennet::TypeMix;
  const Case cases[] = {
      {"dag", Family(8000, Shape::kDag, TypeMix::kMixed, FanoutPick::kDefault)},
      {"dag even capped", Family(8000, Shape::kDag, TypeMix::kEven, FanoutPick::kDefault, 5)},
      {"dag wide hubs", Family(8000, Shape::kDag, TypeMix::kXorHeavy, FanoutPick::kHubs)},
      {"dag window reconvergent",
       Family(8000, Shape::kDag, TypeMix::kMixed, FanoutPick::kDefault, 5, 70, 40)},
      {"dag few outputs one input",
       Family(3000, Shape::kDag, TypeMix::kNandNor, FanoutPick::kDefault, 0, 0, 0, 3, 1)},
      {"dag single gate", Family(1, Shape::kDag, TypeMix::kMixed, FanoutPick::kDefault)},
      {"levelized even capped",
       Family(8000, Shape::kLevelized, TypeMix::kEven, FanoutPick::kEven, 5)},
      {"levelized reconvergent",
       Family(8000, Shape::kLevelized, TypeMix::kNandNor, FanoutPick::kDefault, 5, 70)},
  };
  for (const Case& c : cases) {
    for (std::uint64_t seed : {1u, 9u}) {
      SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
      gennet::Options options = c.options;
      options.seed = seed;
      NetlistSummary summary;
      EXPECT_EQ(CheckNetlist(Render(options), &summary), std::vector<std::string>());
      const bool dag = options.shape == Shape::kDag;
      const std::uint32_t gates = options.gates;
      EXPECT_EQ(summary.gates, gates);
      std::uint32_t inputs = options.inputs;
      if (inputs == 0) inputs = dag ? std::max(1u, gates / 20) : gennet::DefaultInputs(gates);
      EXPECT_EQ(summary.inputs, inputs);
      if (dag) {
        EXPECT_EQ(summary.outputs, options.outputs ? options.outputs : std::max(1u, gates / 40));
      }
      EXPECT_EQ(summary.idleGates, 0u);
      EXPECT_LE(summary.maxFanin, options.maxFanin);
      // A levelized gate's first pin must read the level below, which the cap cannot always
      // allow; a dag's pins can always go elsewhere.
      if (dag && options.maxFanout) {
        EXPECT_LE(summary.maxFanout, options.maxFanout);
      }
      // Few outputs make a deep dag; a window makes it deeper than the default.
      if (options.outputs == 3) {
        EXPECT_GE(summary.depth, gates / 6);
      }
      if (options.window) {
        EXPECT_GE(summary.depth, 100u);
      }
    }
  }
}

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
  for (const auto& [options, recorded] :
       {std::pair{Family(5000, gennet::Shape::kDag, gennet::TypeMix::kEven,
                         gennet::FanoutPick::kHubs, 7, 30),
                  0xbc24726a8e39bf98ULL},
        std::pair{Family(5000, gennet::Shape::kLevelized, gennet::TypeMix::kXorHeavy,
                         gennet::FanoutPick::kEven, 7, 30),
                  0x58c7a97c654575baULL}}) {
    hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : Render(options)) hash = (hash ^ c) * 0x100000001b3ULL;
    EXPECT_EQ(hash, recorded) << std::hex << hash;
  }

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
