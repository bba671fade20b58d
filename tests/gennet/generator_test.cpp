// The generator driven in-process: every file it writes is read back by the independent
// checker in netlist_check.cpp.
#include "generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "netlist_check.h"

namespace {

using gennet_test::CheckedNetlist;

bool render(const gennet::Options& options, std::string& text, std::string& error) {
  gennet::Netlist netlist;
  if (!gennet::generate(options, netlist, error)) return false;
  text.clear();
  return gennet::writeNetlist(netlist, [&text](const char* data, size_t size) {
    text.append(data, size);
    return true;
  });
}

// Generates, checks validity and returns the checker's findings.
CheckedNetlist generateChecked(const gennet::Options& options) {
  std::string text;
  std::string error;
  CheckedNetlist checked;
  EXPECT_TRUE(render(options, text, error)) << error;
  const std::vector<std::string> problems =
      gennet_test::checkNetlist(text, options.maxFanin, checked);
  for (const std::string& problem : problems) ADD_FAILURE() << problem;
  return checked;
}

gennet::Options makeOptions(uint32_t gates, uint64_t seed) {
  gennet::Options options;
  options.gates = gates;
  options.seed = seed;
  return options;
}

struct Shape {
  const char* name;
  uint32_t gates;
  uint32_t inputs = 0;
  uint32_t outputs = 0;
  uint32_t maxFanin = 4;
  uint32_t depth = 0;
};

class GennetNetlist : public testing::TestWithParam<Shape> {};

TEST_P(GennetNetlist, IsValidAndHasTheRequestedCounts) {
  const Shape& shape = GetParam();
  for (uint64_t seed : {1u, 2u, 77u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    gennet::Options options = makeOptions(shape.gates, seed);
    options.inputs = shape.inputs;
    options.outputs = shape.outputs;
    options.maxFanin = shape.maxFanin;
    options.depth = shape.depth;
    const CheckedNetlist checked = generateChecked(options);

    const uint32_t inputs = shape.inputs ? shape.inputs : gennet::defaultInputs(shape.gates);
    EXPECT_EQ(checked.gates, shape.gates);
    EXPECT_EQ(checked.inputs, inputs);
    EXPECT_EQ(checked.depth, shape.depth ? shape.depth : gennet::defaultDepth(shape.gates));
    if (shape.outputs) {
      EXPECT_EQ(checked.outputs, shape.outputs);
    } else if (checked.depth > 1 && shape.gates >= 100) {
      EXPECT_GT(checked.drivingOutputs, 0u) << "no output besides the sinks";
    }
    // With two or more pins per gate there are enough pins to read every input.
    if (shape.maxFanin >= 2 && inputs <= shape.gates) {
      EXPECT_EQ(checked.unusedInputs, 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GennetNetlist,
    testing::Values(Shape{"SingleGate", 1}, Shape{"SevenGates", 7}, Shape{"Defaults20000", 20000},
                    Shape{"Chain", 300, 0, 0, 4, 300}, Shape{"OneLevel", 300, 0, 0, 4, 1},
                    Shape{"OneLevelAllOutputs", 300, 0, 300, 4, 1},
                    Shape{"SingleOutput", 3000, 0, 1}, Shape{"EveryGateAnOutput", 500, 0, 500},
                    Shape{"FaninOne", 2000, 0, 0, 1},
                    Shape{"FaninOneOutputTarget", 1000, 0, 100, 1, 10},
                    Shape{"FaninTwoSingleOutput", 1000, 0, 1, 2, 10},
                    Shape{"FaninSixteen", 3000, 0, 0, 16}, Shape{"OneInput", 1000, 1},
                    Shape{"MoreInputsThanPins", 500, 5000},
                    Shape{"DeepAndNarrow", 5000, 0, 0, 4, 2000},
                    Shape{"ShallowAndWide", 5000, 200, 1300, 3, 3}),
    [](const testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

// The smallest output counts that fit: the planner must find the packing that exists.
TEST(GennetOutputTarget, FitsDownToTheTightestCountAndRefusesBelow) {
  struct Limit {
    uint32_t gates, maxFanin, depth, fewestOutputs;
  };
  // One level: every gate drives nothing. Two levels of 4-input gates: O + 4 * O >= 1000.
  // 1-input gates form chains: 30 * O >= 1000. 2-input gates from a single output: a binary
  // tree, 2^depth - 1 >= 1000.
  const Limit limits[] = {{300, 4, 1, 300}, {1000, 4, 2, 200}, {1000, 1, 30, 34}};
  for (const Limit& limit : limits) {
    SCOPED_TRACE(std::to_string(limit.gates) + " gates, depth " + std::to_string(limit.depth));
    gennet::Options options = makeOptions(limit.gates, 5);
    options.maxFanin = limit.maxFanin;
    options.depth = limit.depth;
    options.outputs = limit.fewestOutputs;
    EXPECT_EQ(generateChecked(options).outputs, limit.fewestOutputs);

    options.outputs = limit.fewestOutputs - 1;
    gennet::Netlist netlist;
    std::string error;
    EXPECT_FALSE(gennet::generate(options, netlist, error));
    EXPECT_NE(error.find("raise --"), std::string::npos) << error;
  }
  gennet::Options binary = makeOptions(1000, 5);
  binary.maxFanin = 2;
  binary.outputs = 1;
  binary.depth = 9;
  gennet::Netlist netlist;
  std::string error;
  EXPECT_FALSE(gennet::generate(binary, netlist, error));
}

TEST(GennetShape, LooksLikeALogicCircuit) {
  for (uint64_t seed : {3u, 4u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const CheckedNetlist checked = generateChecked(makeOptions(20000, seed));
    const double gates = checked.gates;
    EXPECT_GT((checked.faninCount[2] + checked.faninCount[3]) / gates, 0.6);
    EXPECT_GT(checked.faninCount[1], 0u);
    EXPECT_GT(checked.faninCount[4], 0u);

    // A long tail of fan-outs: a few nodes drive many pins.
    uint32_t largest = 0;
    uint32_t above20 = 0;
    for (uint32_t fanout : checked.fanout) {
      largest = std::max(largest, fanout);
      above20 += fanout > 20;
    }
    const double mean = static_cast<double>(checked.pins) / checked.nodes;
    EXPECT_GT(largest, 20 * mean);
    EXPECT_GT(above20, 10u);
    EXPECT_LT(above20, checked.nodes / 50);

    // Inputs come mostly from the few levels just below.
    EXPECT_GT(static_cast<double>(checked.nearPins) / checked.pins, 0.85);
    // Ids are shuffled: about half of the pins read a node with a larger id.
    const double backward = static_cast<double>(checked.backwardPins) / checked.pins;
    EXPECT_GT(backward, 0.4);
    EXPECT_LT(backward, 0.6);
  }
}

TEST(GennetBytes, DependOnlyOnTheOptionsAndSeed) {
  std::string first, second, error;
  gennet::Options options = makeOptions(3000, 11);
  ASSERT_TRUE(render(options, first, error));
  ASSERT_TRUE(render(options, second, error));
  EXPECT_EQ(first, second);

  options.seed = 12;
  ASSERT_TRUE(render(options, second, error));
  EXPECT_NE(first, second);
  options.seed = 11;
  options.outputs = 40;
  ASSERT_TRUE(render(options, second, error));
  EXPECT_NE(first, second);
}

// A seed names the same benchmark on every platform and in later builds: this pins both the
// random stream and the file layout. Change it only together with a note that netlists of
// the same seed changed.
TEST(GennetBytes, MatchTheRecordedNetlists) {
  std::string text, error;
  ASSERT_TRUE(render(makeOptions(6, 2024), text, error));
  EXPECT_EQ(text,
            "6 0 0 2 10\n"
            "pri 2 0\n"
            "XNOR 1 3 7 0 0 7 0 0 1 0 0\n"
            "INV 2 1 2 0 0\n"
            "pri 1 0\n"
            "NOR 1 2 10 0 0 10 0 0\n"
            "pri 1 0\n"
            "NAND 2 4 8 0 0 1 0 0 6 0 0 4 0 0\n"
            "pri 1 0\n"
            "po AND 0 2 5 0 0 10 0 0\n"
            "po OR 3 2 3 0 0 3 0 0\n");

  gennet::Options options = makeOptions(5000, 99);
  options.maxFanin = 16;
  options.outputs = 300;
  ASSERT_TRUE(render(options, text, error));
  uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
  EXPECT_EQ(hash, 0x297d280db7e12d5cULL) << std::hex << hash;
}

TEST(GennetDefaults, DepthIsThreeLog2AndInputsTwoSqrt) {
  std::vector<uint32_t> sizes;
  for (uint32_t n = 1; n <= 5000; ++n) sizes.push_back(n);
  for (uint32_t n : {65535u, 65536u, 1000000u, 3512000u, 10000000u, 99999999u, 100000000u}) {
    sizes.push_back(n);
  }
  for (uint32_t n : sizes) {
    const double depth = 3 * std::log2(static_cast<double>(n));
    if (std::fabs(depth - std::floor(depth) - 0.5) > 1e-3) {
      const double expected = std::min<double>(n, std::max(1.0, std::round(depth)));
      ASSERT_EQ(gennet::defaultDepth(n), expected) << n;
    }
    const uint64_t root = gennet::defaultInputs(n);
    ASSERT_TRUE(root * root <= 4ull * n && (root + 1) * (root + 1) > 4ull * n) << n;
  }
}

}  // namespace
