// Cover and cell mapping, checked exhaustively: each shape is imported as a one-gate BLIF and
// the written netlist is simulated on every input pattern against the source's own function
// (the cover's rows, or the cell's definition).
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "import/convert.h"
#include "io/error.h"
#include "testSupport.h"

namespace tambril::test {
namespace {

struct Simulated {
  std::vector<int> values;  // by node id
  int depth = 0;            // gate levels to the output
};

// The netlist's output `y` for input pattern `m` (bit j is input xj).
class NetlistModel {
 public:
  NetlistModel(const std::string& net, const std::string& names) {
    std::istringstream lines(net);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      std::istringstream t(line);
      Node node;
      t >> node.type;
      if (node.type == "po") t >> node.type;
      int fanout = 0, count = 0, driver = 0, unused = 0;
      t >> fanout >> count;
      for (int k = 0; k < count && t >> driver >> unused >> unused; ++k) node.in.push_back(driver);
      nodes_.push_back(node);
    }
    std::istringstream named(names);
    for (int id; named >> id >> line;) ids_[line] = id;
  }
  int Id(const std::string& name) const { return ids_.count(name) ? ids_.at(name) : 0; }
  int MaxFanin() const {
    size_t widest = 0;
    for (const Node& node : nodes_) widest = std::max(widest, node.in.size());
    return static_cast<int>(widest);
  }
  // Value and depth of node `id` when each input xj carries bit j of m; no recursion needed
  // for these small circuits, but the order of the file is not topological: repeat sweeps.
  std::pair<bool, int> Evaluate(int id, unsigned m) const {
    std::vector<int> value(nodes_.size() + 1, -1), depth(nodes_.size() + 1, 0);
    for (int j = 0; Id("x" + std::to_string(j)) > 0; ++j)
      value[Id("x" + std::to_string(j))] = (m >> j) & 1;
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t k = 1; k <= nodes_.size(); ++k) {
        const Node& node = nodes_[k - 1];
        if (value[k] >= 0 || node.type == "pri") continue;
        int ones = 0, known = 0, deepest = 0;
        for (int d : node.in) {
          known += value[d] >= 0;
          ones += value[d] == 1;
          deepest = std::max(deepest, depth[d]);
        }
        if (known < static_cast<int>(node.in.size())) continue;
        const int n = static_cast<int>(node.in.size());
        const std::map<std::string, bool> kResult = {
            {"INV", ones == 0}, {"BUF", ones == 1}, {"AND", ones == n}, {"NAND", ones < n},
            {"OR", ones > 0},   {"NOR", ones == 0}, {"XOR", ones % 2},  {"XNOR", ones % 2 == 0}};
        value[k] = kResult.at(node.type);
        depth[k] = deepest + 1;
        changed = true;
      }
    }
    return {value[id] == 1, depth[id]};
  }

 private:
  struct Node {
    std::string type;
    std::vector<int> in;
  };
  std::vector<Node> nodes_;
  std::map<std::string, int> ids_;
};

struct Shape {
  const char* name;
  const char* pins;  // the cover's inputs: xj, $true or $false; or a cell's PIN=NET list
  const char* rows;  // the cover's rows, or a cell type
  std::function<bool(unsigned)> cell;  // a cell's function of x0.., else empty
  int maxInputs = 16;
  int depth = 0;  // the output's gate levels, where the shape fixes it
};

void PrintTo(const Shape& shape, std::ostream* os) { *os << shape.name; }

// The source's function: a cover is 1 where a row matches (0 for rows of output 0).
bool CoverValue(const Shape& shape, unsigned m) {
  std::istringstream pins(shape.pins), rows(shape.rows);
  std::vector<int> in;
  for (std::string pin; pins >> pin;) {
    in.push_back(pin == "$true" ? 1 : pin == "$false" ? 0 : (m >> std::stoi(pin.substr(1))) & 1);
  }
  bool offSet = false, hit = false;
  for (std::string plane, out; rows >> plane >> out;) {
    offSet = out == "0";
    bool match = true;
    for (size_t j = 0; j < plane.size(); ++j) match &= plane[j] == '-' || plane[j] - '0' == in[j];
    hit |= match;
  }
  return hit != offSet;
}

const Shape kShapes[] = {
    {"And", "x0 x1 x2", "111 1", {}},
    {"NandAsOffSet", "x0 x1 x2", "111 0", {}},
    {"OrOfRows", "x0 x1 x2", "1-- 1 -1- 1 --1 1", {}},
    {"NorAsOffSetOfOnes", "x0 x1", "1- 0 -1 0", {}},
    {"AllComplementedIsNor", "x0 x1 x2", "000 1", {}},
    {"MixedLiterals", "x0 x1 x2 x3", "10-1 1", {}},
    {"Xor3Rows", "x0 x1 x2", "100 1 010 1 001 1 111 1", {}},
    {"XnorAsOffSet", "x0 x1", "10 0 01 0", {}},
    {"MuxInOtherPinOrder", "x2 x0 x1", "1-0 1 -11 1", {}},
    {"GenericSop", "x0 x1 x2 x3 x4", "11--0 1 0-1-- 1 --011 1", {}},
    {"GenericOffSet", "x0 x1 x2 x3", "1-1- 0 -0-1 0", {}},
    {"UnusedColumnsLeaveABuffer", "x0 x1 x2", "1-1 1 1-0 1", {}},
    {"SingleComplement", "x1 x0", "-0 1", {}},
    {"RepeatedInput", "x0 x0 x1", "11- 1 --1 1", {}},
    {"EightInputCube", "x0 x1 x2 x3 x4 x5 x6 x7", "1011-001 1", {}},
    {"EightInputOr", "x0 x1 x2 x3 x4 x5 x6 x7", "1------- 1 -0------ 1 --1----- 1 -------0 1", {}},
    {"EightInputNorOffSet", "x0 x1 x2 x3 x4 x5 x6 x7", "1------- 0 -0------ 0 -------0 0", {}},
    {"NineInputSop", "x0 x1 x2 x3 x4 x5 x6 x7 x8", "11------0 1 --0110--- 1 ----1-111 1", {}},
    {"ConstantsFolded", "x0 $true $false x1", "110- 1 0--1 1 -01- 1", {}},
    {"ConstantLeavesALiteral", "$true x0 x1", "0-1 1 11- 1", {}},
    {"WideAndTree", "x0 x1 x2 x3 x4 x5 x6", "1111111 1", {}, 3, 2},
    {"WideNandTree", "x0 x1 x2 x3 x4", "11111 0", {}, 2, 3},
    {"WideNorTree", "x0 x1 x2 x3 x4 x5 x6 x7 x8 x9", "0000000000 1", {}, 3, 3},
    {"WideOrTree", "x0 x1 x2 x3 x4", "1---- 1 -1--- 1 --1-- 1 ---1- 1 ----1 1", {}, 4, 2},
    {"WideXorTree",
     "x0 x1 x2 x3 x4",
     "10000 1 01000 1 00100 1 00010 1 00001 1 11100 1 11010 1 11001 1 10110 1 10101 1 10011 1 "
     "01110 1 01101 1 01011 1 00111 1 11111 1",
     {},
     2,
     3},
    {"WideXnorTree", "x0 x1 x2", "100 0 010 0 001 0 111 0", {}, 2, 2},
    {"CellAndNot", "A=x0 B=x1", "$_ANDNOT_", [](unsigned m) { return (m & 1) && !(m & 2); }},
    {"CellOrNot", "A=x0 B=x1", "$_ORNOT_", [](unsigned m) { return (m & 1) || !(m & 2); }},
    {"CellMux", "A=x0 B=x1 S=x2", "$_MUX_", [](unsigned m) { return (m & 4) ? (m & 2) : (m & 1); }},
    {"CellNmux", "A=x0 B=x1 S=x2", "$_NMUX_",
     [](unsigned m) { return !((m & 4) ? (m & 2) : (m & 1)); }},
    {"CellAoi3", "A=x0 B=x1 C=x2", "$_AOI3_",
     [](unsigned m) { return !(((m & 3) == 3) || (m & 4)); }},
    {"CellOai3", "A=x0 B=x1 C=x2", "$_OAI3_", [](unsigned m) { return !((m & 3) && (m & 4)); }},
    {"CellAoi4", "A=x0 B=x1 C=x2 D=x3", "$_AOI4_",
     [](unsigned m) { return !((m & 3) == 3 || (m & 12) == 12); }},
    {"CellOai4", "A=x0 B=x1 C=x2 D=x3", "$_OAI4_",
     [](unsigned m) { return !((m & 3) && (m & 12)); }},
    {"CellMuxOfAConstant", "A=x0 B=$true S=x1", "$_MUX_",
     [](unsigned m) { return (m & 2) || (m & 1); }},
};

class CoverShape : public ::testing::TestWithParam<Shape> {};

TEST_P(CoverShape, ComputesTheSourceFunctionOnEveryPattern) {
  const Shape& shape = GetParam();
  int n = 0;
  std::string inputs;
  for (const char* p = shape.pins; (p = std::strchr(p, 'x')) != nullptr; ++p) {
    n = std::max(n, std::atoi(p + 1) + 1);
  }
  for (int j = 0; j < n; ++j) inputs += " x" + std::to_string(j);
  std::string pins = shape.pins, body;
  if (shape.cell) {
    body = ".subckt " + std::string(shape.rows) + " " + pins + " Y=y\n";
  } else {
    body = ".names " + pins + " y\n";
    std::istringstream rows(shape.rows);
    for (std::string plane, out; rows >> plane >> out;) body += plane + " " + out + "\n";
  }
  import::ImportOptions options;
  options.format = import::Format::kBlif;
  options.maxInputs = shape.maxInputs;
  const import::Conversion conversion = import::ConvertText(
      ".model t\n.inputs" + inputs + "\n.outputs y\n" + body + ".end\n", "t.blif", options);
  EXPECT_EQ(CheckNetlist(conversion.netlist), std::vector<std::string>());
  const NetlistModel model(conversion.netlist, conversion.names);
  EXPECT_LE(model.MaxFanin(), shape.maxInputs);
  for (unsigned m = 0; m < (1u << n); ++m) {
    const auto [value, depth] = model.Evaluate(model.Id("y"), m);
    ASSERT_EQ(value, shape.cell ? shape.cell(m) : CoverValue(shape, m)) << "pattern " << m;
    if (shape.depth > 0) {
      ASSERT_EQ(depth, shape.depth);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Import, CoverShape, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tambril::test
