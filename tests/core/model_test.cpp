// The records: gates, library rows and types, circuit nodes, and the netlist's starting values.
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "model/gate.h"
#include "model/gateData.h"
#include "model/gateType.h"
#include "model/netlist.h"
#include "model/part.h"

namespace {
using namespace tambril;

// Products computed at run time, as the program computes them.
double Product(volatile double a, volatile double b) { return a * b; }

TEST(GateTest, SizeBoundsAreExact) {
  // The products and the literals are the same doubles; every constructor sets them.
  for (const CGate& gate : {CGate(), CGate("NAND", 7)}) {
    EXPECT_EQ(gate.minSize, Product(16.9, 1e-15));
    EXPECT_EQ(gate.minSize, 1.69e-14);
    EXPECT_EQ(gate.maxSize, Product(10, 1e-9));
    EXPECT_EQ(gate.maxSize, 1e-8);
  }
  EXPECT_EQ(CGate("NAND", 7).Name(), "NAND");
  EXPECT_EQ(CGate("NAND", 7).id, 7);
}

TEST(GateTest, NamesAreTruncatedToNineCharacters) {
  CGate gate;
  CGateType type;
  for (const char* name : {"ABCDEFGHI", "ABCDEFGHIJKL"}) {
    gate.SetName(name);
    type.SetName(name);
    EXPECT_EQ(gate.Name(), "ABCDEFGHI");
    EXPECT_EQ(type.Name(), "ABCDEFGHI");
  }
  // A shorter name leaves nothing of the longer one behind.
  gate.SetName("X");
  type.SetName("AB");
  EXPECT_EQ(gate.Name(), "X");
  EXPECT_EQ(type.Name(), "AB");
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
      {"ZZZ", 3, "AAA", 4, false, true, false},    // the name plays no part in the order
      {"AAA", 9, "ZZZ", 2, false, false, true},
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

TEST(GateTest, NodeKindsAreToldByExactName) {
  EXPECT_TRUE(IsSourceNode(CGate("Input", 1)));
  EXPECT_TRUE(IsSinkNode(CGate("Output", 1)));
  EXPECT_TRUE(IsPrimaryInputNode(CGate("pri", 1)));
  for (const char* name : {"Input", "Output", "pri"}) EXPECT_TRUE(IsReservedNodeName(name));
  for (const char* name : {"input", "Input ", "Outputs", "PRI", "pri ", "po"}) {
    SCOPED_TRACE(name);
    const CGate gate(name, 1);
    EXPECT_FALSE(IsSourceNode(gate) || IsSinkNode(gate) || IsPrimaryInputNode(gate));
    EXPECT_FALSE(IsReservedNodeName(name));
  }
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
}

TEST(PartTypeTest, CopiesAreIndependent) {
  PartType source;
  source.gate = CGate("NAND", 3);
  source.gate.lambdas = {-1.0, -1.0};
  source.gate.inputArrivals = {3.0};
  source.fanIns = {PartInfo{1, 0, 1.5, 2.5}, PartInfo{2, 1, 0.0, 0.0}};
  source.fanOuts = {PartInfo{4, 0, 0.0, 0.0}};

  PartType copy = source;
  copy.gate.SetName("INV");
  copy.gate.lambdas[1] = 7.0;
  copy.gate.inputArrivals.push_back(4.0);
  copy.fanIns[0].node = 9;
  copy.fanIns.pop_back();
  copy.fanOuts[0].pin = 3;
  PartType assigned;
  assigned = source;
  assigned.fanOuts.clear();
  assigned.gate.lambdas.clear();

  EXPECT_EQ(source.gate.Name(), "NAND");
  EXPECT_EQ(source.gate.lambdas, (std::vector<double>{-1.0, -1.0}));
  EXPECT_EQ(source.gate.inputArrivals, (std::vector<double>{3.0}));
  ASSERT_EQ(source.fanIns.size(), 2u);
  EXPECT_EQ(source.fanIns[0].node, 1);
  ASSERT_EQ(source.fanOuts.size(), 1u);
  EXPECT_EQ(source.fanOuts[0].pin, 0);
}

// Each operator against the sign of the comparison: -1, 0 or 1.
template <typename T>
void ExpectOrder(const T& a, const T& b, int sign) {
  EXPECT_EQ(a == b, sign == 0);
  EXPECT_EQ(a < b, sign < 0);
  EXPECT_EQ(a > b, sign > 0);
  EXPECT_EQ(a <= b, sign <= 0);
  EXPECT_EQ(a >= b, sign >= 0);
}

TEST(GateDataTest, RowsCompareByKeyAlone) {
  CGateData a;
  a.key = 2;
  a.unitInputCap = 1.0;
  CGateData b;
  b.unitInputCap = 5.0;
  b.value5 = 3.0;
  const std::pair<int, int> keysAndSigns[] = {{2, 0}, {3, -1}, {-1, 1}};
  for (const auto& [key, sign] : keysAndSigns) {
    SCOPED_TRACE(key);
    b.key = key;
    ExpectOrder(a, b, sign);
    ExpectOrder(b, a, -sign);
  }
}

TEST(GateTypeTest, NamesCompareByteWiseWhateverTheRows) {
  const struct {
    const char* left;
    const char* right;
    int sign;
  } cases[] = {
      {"ABC", "abc", -1},   // upper case before lower case
      {"AB", "ABC", -1},    // a prefix first
      {"", "A", -1},        // the empty name first of all
      {"INV", "INV ", -1},  // a trailing blank makes a longer, larger name
      {"A B", "AB", -1},    // blank sorts before letters
      {"NAND2", "NAND3", -1},
      {"NAND", "NAND", 0},              // equal although only one has rows
      {"ABCDEFGHIJ", "ABCDEFGHIX", 0},  // equal once truncated
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("'") + c.left + "' vs '" + c.right + "'");
    CGateType left, right;
    left.SetName(c.left);
    right.SetName(c.right);
    left.data.emplace_back();
    ExpectOrder(left, right, c.sign);
    ExpectOrder(right, left, -c.sign);
  }
}

TEST(NetlistTest, StartingValues) {
  const CNetlist net;
  EXPECT_EQ(net.innerImprove, 5e-6);
  EXPECT_EQ(net.outerImprove, 0.01);
  EXPECT_EQ(net.driverResistance, 5000.0);
  // The output load is the product, which is one unit in the last place away from the literal.
  EXPECT_EQ(net.outputLoad, Product(2.3995, 1e-15));
  EXPECT_NE(net.outputLoad, 2.3995e-15);
  EXPECT_TRUE(net.is_empty());
}

}  // namespace
