// The Liberty side's building blocks on tables of cases: functions into truth tables, the
// tables' interpolation, gate-level Verilog into nets, and the timer against hand-computed
// arrival times; the area sizing and the area recovery against their targets.
#include <cmath>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "io/error.h"
#include "io/text.h"
#include "liberty/cellLibrary.h"
#include "liberty/design.h"
#include "liberty/families.h"
#include "liberty/lagrangian.h"
#include "liberty/refine.h"
#include "liberty/timer.h"
#include "liberty/verilogNetlist.h"

namespace tambril::liberty {
namespace {

CellLibrary TinyLibrary() {
  return ReadLibertyFiles({std::string(TAMBRIL_SOURCE_DIR) + "/tests/liberty/data/tiny.lib"},
                          "test");
}

// The cells a design was bound to, gate by gate.
std::vector<int> CellsOf(const Design& design) {
  std::vector<int> cells;
  for (const Design::Gate& g : design.gates) cells.push_back(g.cell);
  return cells;
}

// Bit r of the expected table: the value when input i is (r >> i) & 1.
struct FunctionCase {
  const char* text;
  std::vector<std::string> inputs;
  uint64_t table;
};

TEST(Liberty, FunctionsBecomeTruthTables) {
  const std::vector<FunctionCase> cases = {
      {"!A", {"A"}, 0b01},
      {"A'", {"A"}, 0b01},
      {"(A * B)", {"A", "B"}, 0b1000},
      {"A B", {"A", "B"}, 0b1000},
      {"A & !B", {"A", "B"}, 0b0010},
      {"(!A) + (!B)", {"A", "B"}, 0b0111},
      {"A | B", {"A", "B"}, 0b1110},
      {"A ^ B", {"A", "B"}, 0b0110},
      {"A + B * C", {"A", "B", "C"}, 0b11101010},
      {"A ^ B C", {"A", "B", "C"}, 0b01101010},  // and binds tighter than exclusive or
      {"!(A + B)'", {"A", "B"}, 0b1110},
      {"(A * B) + (A * C) + (B * C)", {"A", "B", "C"}, 0b11101000},
      {"1", {"A"}, 0b11},
      {"0", {"A"}, 0b00},
  };
  for (const FunctionCase& c : cases) {
    TruthTable table;
    std::string error;
    ASSERT_TRUE(ParseFunction(c.text, c.inputs, table, error)) << c.text << ": " << error;
    EXPECT_EQ(table[0], c.table) << c.text;
  }
  for (const char* bad : {"A +", "(A", "A * * B", "A # B", "C"}) {
    TruthTable table;
    std::string error;
    EXPECT_FALSE(ParseFunction(bad, {"A", "B"}, table, error)) << bad;
  }
}

TEST(Liberty, TablesInterpolateAndExtendLinearly) {
  Table t;
  t.slew = {1, 3};
  t.load = {10, 20, 40};
  t.values = {2, 3, 5, 4, 5, 7};  // slew + load / 10, for slew 1 and 3
  for (double slew : {0.0, 1.0, 2.0, 3.0, 5.0}) {
    for (double load : {0.0, 10.0, 15.0, 30.0, 60.0}) {
      EXPECT_DOUBLE_EQ(t.Lookup(slew, load), slew + load / 10) << slew << " " << load;
    }
  }
}

TEST(Liberty, VerilogNetsJoinedByAssignsAndVectors) {
  const std::string text =
      "// a comment\n"
      "module top (\\a[0] , b, y);\n"
      "  input \\a[0] ;\n"
      "  input [1:0] b;\n"
      "  output [2:0] y;\n"
      "  wire w;\n"
      "  assign w = b[1];\n"
      "  assign { y[2], y[0] } = 2'b10;\n"
      "  (* keep *) INV g1 (.A(\\a[0] ), .Y(y[1]));\n"
      "  NAND g2 (.A(w), .B(b[0]), .Y());\n"
      "endmodule\n";
  const VerilogNetlist n = ReadVerilog(text, "t.v", "test");
  EXPECT_EQ(n.module, "top");
  ASSERT_EQ(n.instances.size(), 2u);
  EXPECT_EQ(n.instances[1].connections[0].net, n.inputs[1]);  // w is b[1]
  EXPECT_EQ(n.netNames[n.inputs[1]], "b[1]");
  EXPECT_EQ(n.instances[1].connections[2].net, -1);
  ASSERT_EQ(n.outputs.size(), 3u);
  EXPECT_EQ(n.netDriver[n.outputs[0]], VerilogNetlist::Driver::kOne);   // y[2]
  EXPECT_EQ(n.netDriver[n.outputs[2]], VerilogNetlist::Driver::kZero);  // y[0]
  EXPECT_EQ(n.outputNames[1], "y[1]");
  EXPECT_EQ(WithCells(n, {"INV_X4", "NAND_X2"}),
            std::string(text)
                .replace(text.find("INV g1"), 3, "INV_X4")
                .replace(text.find("NAND g2") + 3, 4, "NAND_X2"));
}

// A chain of two inverters of the test library: the arrival at the output is the sum of the
// two delays from the tables, each at its own load and input slew.
TEST(Liberty, TimerAddsTableDelaysAlongAPath) {
  const CellLibrary library = TinyLibrary();
  const Families families = BuildFamilies(library);
  const VerilogNetlist netlist = ReadVerilog(
      "module top (a, y); input a; output y; wire n;\n"
      "INV_X1 g1 (.A(a), .Y(n));\nINV_X2 g2 (.A(n), .Y(y));\nendmodule\n",
      "t.v", "test");
  const Design design = BindDesign(netlist, library, families, "test");
  const std::vector<int> cells = CellsOf(design);
  Timer timer(design);
  const double delay = timer.Analyse(cells);
  const Cell& x1 = *library.Find("INV_X1");
  const Cell& x2 = *library.Find("INV_X2");
  const double load1 = x2.pins[0].capacitance;
  // Input rising at slew 0: the first inverter's output falls, the second's rises.
  const ArcTables& a1 = x1.arcs[0].variants[0];
  const ArcTables& a2 = x2.arcs[0].variants[0];
  const double fall1 = a1.cellFall.Lookup(0, load1), slew1 = a1.fallTransition.Lookup(0, load1);
  const double rise1 = a1.cellRise.Lookup(0, load1), slewR = a1.riseTransition.Lookup(0, load1);
  const double viaRise = fall1 + a2.cellRise.Lookup(slew1, 0);
  const double viaFall = rise1 + a2.cellFall.Lookup(slewR, 0);
  EXPECT_DOUBLE_EQ(delay, std::max(viaRise, viaFall));
}

// A NAND fed by an inverter and by a flip-flop: the flip-flop's output starts at its
// clock-to-output delay for its load, and the NAND's output takes the worst arrival and the
// worst slew over its two arcs.
TEST(Liberty, TimerStartsFlopsAtClockToOutputAndTakesTheWorstSlew) {
  const CellLibrary library = TinyLibrary();
  const Families families = BuildFamilies(library);
  const VerilogNetlist netlist = ReadVerilog(
      "module top (a, clk, y); input a, clk; output y; wire n, q, m;\n"
      "DFF_X1 r (.CK(clk), .D(y), .Q(q));\nINV_X1 g1 (.A(a), .Y(n));\n"
      "NAND2_X1 g2 (.A(n), .B(q), .Y(m));\nINV_X2 g3 (.A(m), .Y(y));\nendmodule\n",
      "t.v", "test");
  const Design design = BindDesign(netlist, library, families, "test");
  const std::vector<int> cells = CellsOf(design);
  Timer timer(design);
  timer.Analyse(cells);
  const Cell& nand = *library.Find("NAND2_X1");
  const Cell& inv = *library.Find("INV_X1");
  const Cell& flop = *library.Find("DFF_X1");
  const double capA = nand.pins[nand.FindPin("A")].capacitance;
  const double capB = nand.pins[nand.FindPin("B")].capacitance;
  const double loadM = library.Find("INV_X2")->pins[0].capacitance;
  // n falls when a rises (slew 0 at the port); q falls at the flop's clock-to-output delay.
  const ArcTables& i = inv.arcs[0].variants[0];
  const ArcTables& c = flop.clockArcs[0].tables;
  const double nFall = i.cellFall.Lookup(0, capA), nSlew = i.fallTransition.Lookup(0, capA);
  const double qFall = c.cellFall.Lookup(0, capB), qSlew = c.fallTransition.Lookup(0, capB);
  const ArcTables& fromA = nand.arcs[nand.pins[nand.arcs[0].input].name == "A" ? 0 : 1].variants[0];
  const ArcTables& fromB = nand.arcs[nand.pins[nand.arcs[0].input].name == "A" ? 1 : 0].variants[0];
  const int q = design.fanins[design.gates[design.gateOfInstance[2]].firstFanin + 1];
  EXPECT_DOUBLE_EQ(timer.Arrival()[2 * q + 1], qFall);
  const int m = design.gates[design.gateOfInstance[2]].output;
  EXPECT_DOUBLE_EQ(timer.Arrival()[2 * m], std::max(nFall + fromA.cellRise.Lookup(nSlew, loadM),
                                                    qFall + fromB.cellRise.Lookup(qSlew, loadM)));
  EXPECT_DOUBLE_EQ(timer.Slew()[2 * m], std::max(fromA.riseTransition.Lookup(nSlew, loadM),
                                                 fromB.riseTransition.Lookup(qSlew, loadM)));
}

// An inverter driving three NANDs, all of the larger cells; the smaller NANDs load the
// inverter less and make the circuit faster (two thirds of the delay), all small cells cost 5.5
// instead of 9 for the same delay.
class FanOut : public ::testing::Test {
 protected:
  const CellLibrary library = TinyLibrary();
  const Families families = BuildFamilies(library);
  const VerilogNetlist netlist = ReadVerilog(
      "module top (a, b, x, y, z); input a, b; output x, y, z; wire n;\n"
      "INV_X2 g (.A(a), .Y(n));\nNAND2_X2 h1 (.A(n), .B(b), .Y(x));\n"
      "NAND2_X2 h2 (.A(b), .B(n), .Y(y));\nNAND2_X2 h3 (.A(n), .B(n), .Y(z));\nendmodule\n",
      "t.v", "test");
  const Design design = BindDesign(netlist, library, families, "test");
  std::vector<int> start = CellsOf(design);
  Timer timer{design};
  const double delay = timer.Analyse(start);

  double Area(const std::vector<int>& cells) const {
    double area = 0;
    for (int c : cells) area += library.cells[c].area;
    return area;
  }
};

// Whatever the target, the area sizing says truly whether it met it, never leaves a start that
// meets it for one that does not or for more area, and two runs choose the same cells.
TEST_F(FanOut, LagrangianSizingKeepsTheTargetAndSavesArea) {
  for (double scale : {0.5, 0.8, 1.0, 1.2, 3.0}) {
    const double target = delay * scale;
    std::vector<int> cells = start;
    const LagrangianResult r = LagrangianSizing(design, library, cells, target, 10);
    EXPECT_DOUBLE_EQ(timer.Analyse(cells), r.delay) << scale;
    EXPECT_EQ(r.met, r.delay <= target) << scale;
    EXPECT_EQ(r.met, scale >= 0.8) << scale;
    EXPECT_LE(r.delay, std::max(target, delay)) << scale;
    EXPECT_LE(r.area, 9e-12) << scale;
    if (scale > 1) {
      EXPECT_DOUBLE_EQ(r.area, 5.5e-12) << scale;
    }
    std::vector<int> again = start;
    LagrangianSizing(design, library, again, target, 10);
    EXPECT_EQ(again, cells) << scale;
  }
}

// The area recovery keeps a goal that the start meets, and leaves a start that misses it as it
// is. At the start's own delay the three NANDs step down (each makes the inverter faster), but
// not the inverter too (a hair slower); with room, every gate.
TEST_F(FanOut, DownsizingKeepsTheGoal) {
  const struct {
    double scale;
    int kept;
    double area;
  } cases[] = {{0.5, 0, 9}, {1.0, 3, 6}, {1.05, 4, 5.5}, {3.0, 4, 5.5}};
  for (const auto& c : cases) {
    std::vector<int> cells = start;
    EXPECT_EQ(Downsize(design, library, cells, delay * c.scale, 10), c.kept) << c.scale;
    EXPECT_LE(timer.Analyse(cells), std::max(delay * c.scale, delay)) << c.scale;
    EXPECT_DOUBLE_EQ(Area(cells), c.area * 1e-12) << c.scale;
  }
}

}  // namespace
}  // namespace tambril::liberty
