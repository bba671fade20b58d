#ifndef TAMBRIL_TOOLS_LIBERTY_DESIGN_H
#define TAMBRIL_TOOLS_LIBERTY_DESIGN_H

#include <string>
#include <vector>

#include "cellLibrary.h"
#include "families.h"
#include "verilogNetlist.h"

// A gate-level netlist bound to its cells: every instance of a cell that a family takes is a
// gate that can change drive strength; sequential cells and tie cells are cut (their outputs
// start paths, their inputs end them). Flat arrays, gates in topological order.
namespace tambril::liberty {

struct Design {
  struct Gate {
    int instance = 0;    // into VerilogNetlist::instances
    int family = 0;      // into Families::families
    int cell = 0;        // into CellLibrary::cells: the current cell
    int output = 0;      // net
    int firstFanin = 0;  // fanins[firstFanin, firstFanin + inputs), in the family's order
    int inputs = 0;
  };
  std::vector<Gate> gates;          // in topological order
  std::vector<int> fanins;          // nets
  std::vector<int> gateOfInstance;  // -1 for a cut instance
  // Per net: the gate that drives it (-1: an input, a cut instance, a constant), whether it
  // ends a path (an output port or a pin of a cut instance), and the capacitance that cut
  // instances put on it (rise, fall).
  std::vector<int> driver;
  std::vector<char> endpoint;
  std::vector<char> constant;
  std::vector<double> fixedLoad;  // 2 per net
  // Per net driven by a sequential cell: its clock-to-output tables (the path starts at the
  // clock edge, at the delay these give for the net's load); nullptr elsewhere.
  std::vector<const ArcTables*> startArc;
  // Per net: the gate input pins it feeds, as (gate, position) pairs in compressed rows.
  std::vector<int> sinkStart;
  std::vector<std::pair<int, int>> sinks;
  // Per family and member cell: the cell's input index (into Cell::inputs and Cell::arcs)
  // for each of the family's fan-in positions.
  std::vector<std::vector<std::vector<int>>> pinMap;  // [family][member][position]
  std::vector<std::vector<int>> memberOf;  // [family] -> cells; same order as Family::cells
  std::vector<int> memberIndex;            // [cell] -> its position in its family, or -1
  // Per cell of a family, by the family's fan-in positions: the arc and the pin's
  // capacitance (rise, fall), from arcStart[cell].
  std::vector<int> arcStart;
  std::vector<const Arc*> arcs;
  std::vector<double> pinCaps;  // 2 per arc entry

  int NetCount() const { return static_cast<int>(driver.size()); }
  int Member(int /*family*/, int cell) const { return memberIndex[cell]; }
};

// Binds the netlist to the library. Throws FormatError "PROGRAM: FILE:LINE: message": a cell
// the libraries do not have, a pin the cell does not have, an input left open, a cell that no
// family takes and that is neither sequential nor a tie cell (several outputs), a net driven
// twice or read but never driven, a combinational loop.
Design BindDesign(const VerilogNetlist& netlist, const CellLibrary& library,
                  const Families& families, const std::string& program);

}  // namespace tambril::liberty

#endif
