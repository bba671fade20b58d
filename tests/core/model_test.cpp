// The records: gates, library rows and types, circuit nodes, and the netlist's starting values.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "model/gate.h"
#include "model/gateData.h"
#include "model/gateType.h"
#include "model/netlist.h"
#include "model/part.h"

namespace {

// Products computed at run time, as the program computes them.
double Product(volatile double a, volatile double b) { return a * b; }

TEST(GateTest, DefaultsAreZeroWithSizeBounds) {
  const CGate gate;
  EXPECT_STREQ(gate.name, "");
  EXPECT_EQ(gate.id, 0);
  EXPECT_EQ(gate.fanInCount, 0);
  EXPECT_EQ(gate.fanOutCount, 0);
  EXPECT_EQ(gate.isPrimaryOutput, 0);
  for (double value : {gate.unitResistance, gate.upstreamResistance, gate.unitInputCap,
                       gate.loadCap, gate.unitOutputCap, gate.lambdaSum, gate.delay, gate.size}) {
    EXPECT_EQ(value, 0.0);
  }
  EXPECT_TRUE(gate.lambdas.empty());
  EXPECT_TRUE(gate.inputArrivals.empty());
  // Both bounds are exact: the product and the literal are the same double.
  EXPECT_EQ(gate.minSize, Product(16.9, 1e-15));
  EXPECT_EQ(gate.minSize, 1.69e-14);
  EXPECT_EQ(gate.maxSize, 1e-8);
  EXPECT_EQ(gate.maxSize, Product(10, 1e-9));
}

TEST(GateTest, NamedConstructorKeepsDefaultsElsewhere) {
  const CGate gate("NAND", 7);
  EXPECT_EQ(gate.Name(), "NAND");
  EXPECT_EQ(gate.id, 7);
  EXPECT_EQ(gate.minSize, 1.69e-14);
  EXPECT_EQ(gate.maxSize, 1e-8);
  EXPECT_EQ(gate.fanInCount, 0);
}

TEST(GateTest, NamesAreTruncatedToNineCharacters) {
  CGate gate;
  gate.SetName("ABCDEFGHI");
  EXPECT_EQ(gate.Name(), "ABCDEFGHI");
  gate.SetName("ABCDEFGHIJKL");
  EXPECT_EQ(gate.Name(), "ABCDEFGHI");
  gate.SetName("X");  // a shorter name leaves nothing of the longer one behind
  EXPECT_EQ(gate.Name(), "X");
  EXPECT_EQ(std::strlen(gate.name), 1u);
}

TEST(GateTest, EqualityNeedsNameAndIdOrderUsesIdOnly) {
  struct Case {
    const char* leftName;
    int leftId;
    const char* rightName;
    int rightId;
    bool equal;
    bool less;
    bool greater;
  };
  const Case cases[] = {
      {"NAND", 3, "NAND", 3, true, false, false},
      {"NAND", 3, "NOR", 3, false, false, false},  // same id, other name: neither order
      {"NAND", 3, "NAND", 4, false, true, false},
      {"ZZZ", 3, "AAA", 4, false, true, false},  // the name plays no part in the order
      {"AAA", 9, "ZZZ", 2, false, false, true},
      {"", 0, "", 0, true, false, false},
      {"INV", -1, "INV", 0, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.leftName) + "/" + std::to_string(c.leftId) + " vs " + c.rightName +
                 "/" + std::to_string(c.rightId));
    const CGate left(c.leftName, c.leftId);
    const CGate right(c.rightName, c.rightId);
    EXPECT_EQ(left == right, c.equal);
    EXPECT_EQ(right == left, c.equal);
    EXPECT_EQ(left < right, c.less);
    EXPECT_EQ(right < left, c.greater);
  }
}

TEST(GateTest, CopiesAreIndependent) {
  CGate original("NAND", 2);
  original.lambdas = {1.0, 2.0};
  original.inputArrivals = {3.0};
  CGate copy = original;
  copy.lambdas[0] = 9.0;
  copy.inputArrivals.push_back(4.0);
  copy.SetName("INV");
  EXPECT_EQ(original.lambdas, (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(original.inputArrivals, (std::vector<double>{3.0}));
  EXPECT_EQ(original.Name(), "NAND");
}

TEST(GateTest, NodeKindsAreToldByExactName) {
  EXPECT_TRUE(IsSourceNode(CGate("Input", 1)));
  EXPECT_TRUE(IsSinkNode(CGate("Output", 1)));
  EXPECT_TRUE(IsPrimaryInputNode(CGate("pri", 1)));
  for (const char* name : {"input", "Input ", "INPUT", "output", "Outputs", "PRI", "pri ", "po"}) {
    SCOPED_TRACE(name);
    const CGate gate(name, 1);
    EXPECT_FALSE(IsSourceNode(gate));
    EXPECT_FALSE(IsSinkNode(gate));
    EXPECT_FALSE(IsPrimaryInputNode(gate));
    EXPECT_FALSE(IsReservedNodeName(name));
  }
  for (const char* name : {"Input", "Output", "pri"}) EXPECT_TRUE(IsReservedNodeName(name));
}

TEST(PartTypeTest, EqualityComparesIdsOnly) {
  PartType a;
  a.gate = CGate("NAND", 5);
  a.fanIns.push_back(PartInfo{1, 0, 0.5, 0.25});
  PartType b;
  b.gate = CGate("INV", 5);
  EXPECT_TRUE(a == b);
  b.gate.id = 6;
  EXPECT_FALSE(a == b);
  a.gate.id = 6;
  EXPECT_TRUE(a == b);
}

TEST(PartTypeTest, CopiesAreIndependent) {
  PartType source;
  source.gate = CGate("NAND", 3);
  source.gate.lambdas = {-1.0, -1.0};
  source.fanIns = {PartInfo{1, 0, 1.5, 2.5}, PartInfo{2, 1, 0.0, 0.0}};
  source.fanOuts = {PartInfo{4, 0, 0.0, 0.0}};

  PartType copy = source;
  copy.gate.lambdas[1] = 7.0;
  copy.gate.lambdas.push_back(8.0);
  copy.fanIns[0].node = 9;
  copy.fanIns[0].connValue1 = 0.0;
  copy.fanIns.pop_back();
  copy.fanOuts.push_back(PartInfo{5, 1, 0.0, 0.0});
  copy.fanOuts[0].pin = 3;

  EXPECT_EQ(source.gate.lambdas, (std::vector<double>{-1.0, -1.0}));
  ASSERT_EQ(source.fanIns.size(), 2u);
  EXPECT_EQ(source.fanIns[0].node, 1);
  EXPECT_EQ(source.fanIns[0].connValue1, 1.5);
  EXPECT_EQ(source.fanIns[1].node, 2);
  ASSERT_EQ(source.fanOuts.size(), 1u);
  EXPECT_EQ(source.fanOuts[0].node, 4);
  EXPECT_EQ(source.fanOuts[0].pin, 0);

  PartType assigned;
  assigned = source;
  assigned.fanOuts.clear();
  assigned.gate.lambdas.clear();
  EXPECT_EQ(source.fanOuts.size(), 1u);
  EXPECT_EQ(source.gate.lambdas.size(), 2u);
}

TEST(GateDataTest, RowsCompareByKeyAlone) {
  CGateData a;
  a.key = 2;
  a.unitInputCap = 1.0;
  a.unitResistance = 1.0;
  CGateData b;
  b.key = 2;
  b.unitInputCap = 5.0;
  b.value5 = 3.0;
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(a > b);
  EXPECT_TRUE(a <= b);
  EXPECT_TRUE(a >= b);

  b.key = 3;
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a < b);
  EXPECT_FALSE(a > b);
  EXPECT_TRUE(a <= b);
  EXPECT_FALSE(a >= b);
  EXPECT_TRUE(b > a);
  EXPECT_TRUE(b >= a);
  EXPECT_FALSE(b <= a);

  b.key = -1;
  EXPECT_TRUE(b < a);
}

TEST(GateDataTest, DefaultRowIsAllZero) {
  const CGateData row;
  EXPECT_EQ(row.key, 0);
  for (double value :
       {row.unitInputCap, row.unitResistance, row.unitOutputCap, row.value4, row.value5}) {
    EXPECT_EQ(value, 0.0);
  }
}

CGateType Type(const char* name) {
  CGateType type;
  type.SetName(name);
  return type;
}

TEST(GateTypeTest, NamesCompareByteWise) {
  struct Case {
    const char* smaller;
    const char* larger;
  };
  const Case cases[] = {
      {"ABC", "abc"},      // upper case before lower case
      {"AB", "ABC"},       // a prefix first
      {"", "A"},           // the empty name first of all
      {"INV", "INV "},     // a trailing blank makes a longer, larger name
      {"NAND", "NOR"},     //
      {"Z", "a"},          //
      {"A B", "AB"},       // blank sorts before letters
      {"NAND2", "NAND3"},  //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.smaller + "' < '" + c.larger + "'");
    const CGateType small = Type(c.smaller);
    const CGateType large = Type(c.larger);
    EXPECT_TRUE(small < large);
    EXPECT_TRUE(small <= large);
    EXPECT_FALSE(small > large);
    EXPECT_FALSE(small >= large);
    EXPECT_FALSE(small == large);
    EXPECT_TRUE(large > small);
    EXPECT_TRUE(large >= small);
    EXPECT_FALSE(large < small);
    EXPECT_FALSE(large <= small);
  }
}

TEST(GateTypeTest, EqualNamesAreEqualWhateverTheRows) {
  CGateType a = Type("NAND");
  CGateType b = Type("NAND");
  CGateData row;
  row.key = 2;
  a.data.push_back(row);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(a > b);
  EXPECT_TRUE(a <= b);
  EXPECT_TRUE(a >= b);
}

TEST(GateTypeTest, SortsByteWise) {
  std::vector<CGateType> types;
  for (const char* name : {"nand", "NOR", "INV ", "AND", "INV", "and", "NAND"}) {
    types.push_back(Type(name));
  }
  std::sort(types.begin(), types.end());
  std::vector<std::string> names;
  for (const CGateType& type : types) names.emplace_back(type.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"AND", "INV", "INV ", "NAND", "NOR", "and", "nand"}));
}

TEST(GateTypeTest, NamesAreTruncatedToNineCharacters) {
  CGateType type = Type("ABCDEFGHIJ");
  EXPECT_EQ(type.Name(), "ABCDEFGHI");
  type.SetName("AB");
  EXPECT_EQ(type.Name(), "AB");
  EXPECT_TRUE(Type("ABCDEFGHIJ") == Type("ABCDEFGHIX"));
}

TEST(NetlistTest, StartingValues) {
  const CNetlist net;
  EXPECT_EQ(net.innerImprove, 5e-6);
  EXPECT_EQ(net.outerImprove, 0.01);
  EXPECT_EQ(net.driverResistance, 5000.0);
  // The output load is the product, which is one unit in the last place away from the literal.
  EXPECT_EQ(net.outputLoad, Product(2.3995, 1e-15));
  EXPECT_NE(net.outputLoad, 2.3995e-15);
  EXPECT_EQ(net.length(), 0);
  EXPECT_TRUE(net.is_empty());
  EXPECT_TRUE(net.parts.empty());
  EXPECT_TRUE(net.gateTypes.empty());
  EXPECT_TRUE(net.forwardOrder.empty());
  EXPECT_TRUE(net.reverseOrder.empty());
  for (int value : {net.partCount, net.circuitSize, net.headerValue2, net.headerValue3,
                    net.outputCount, net.nodeLineCount}) {
    EXPECT_EQ(value, 0);
  }
}

}  // namespace
