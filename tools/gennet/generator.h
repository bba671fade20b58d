// gennet: random levelized netlists in TAMBRIL's netlist format.
//
// Shape of a generated circuit:
//  - primary inputs form level 0; the gates are spread over `depth` levels 1..depth, and every
//    gate on level L has at least one input from level L-1, so the longest input-to-output path
//    crosses exactly `depth` gates;
//  - level widths vary at random by up to 3x; the top quarter of the levels narrows towards
//    the outputs, down to about 1/8 of the full width on the top level;
//  - the other inputs of a gate come mostly from the few levels just below it (1/2 from L-1,
//    1/4 from L-2, 1/8 each from L-3 and L-4), and 1 in 16 from any lower level;
//  - inside a level, half of the picks are uniform and half favour the first nodes of the level
//    (index = width * u^3), which gives a few nodes very large fan-outs;
//  - fan-in is 1..max-fanin, mostly 2 or 3; fan-in 1 makes an INV or BUF, more makes an AND,
//    NAND, OR, NOR, XOR or XNOR;
//  - every node drives at least one pin except the sinks: the top level and, when the pins
//    above a level are too few to read all of it, part of that level. Sinks are primary
//    outputs, and so are some gates that do drive pins: one for every four sinks, or as many
//    as an output target needs. A target below what the natural shape gives shrinks the top
//    level and pushes the gates it would have held down, widening fan-ins where needed;
//  - primary inputs all drive a pin unless the gates have too few pins in total (or, with
//    max-fanin 1, more inputs than the first level has gates);
//  - ids are a random permutation of the nodes, so the file is not in topological order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/gateTypes.h"

namespace tambril::gennet {

// The gate types, from the tools' one table.
using tools::GateType, tools::kInv, tools::kBuf, tools::kAnd, tools::kNand, tools::kOr, tools::kNor,
    tools::kXor, tools::kXnor;

constexpr uint32_t kMaxGates = 100000000;
constexpr uint32_t kMaxInputs = 100000000;
constexpr uint32_t kMaxFanin = tools::kWidestGate;

struct Options {
  uint32_t gates = 0;
  uint64_t seed = 0;
  uint32_t inputs = 0;    // 0: defaultInputs(gates)
  uint32_t outputs = 0;   // 0: no target, the count follows from the shape
  uint32_t maxFanin = 4;  // 1..kMaxFanin
  uint32_t depth = 0;     // 0: defaultDepth(gates)
};

// round(3 * log2(gates)), at least 1 and at most `gates`.
uint32_t DefaultDepth(uint32_t gates);
// floor(2 * sqrt(gates)), at least 1.
uint32_t DefaultInputs(uint32_t gates);

// A generated circuit, indexed in level order: nodes [0, inputs) are the primary inputs,
// node inputs + g is gate g, and levelStart[L] is the first node of level L.
struct Netlist {
  uint32_t inputs = 0;
  uint32_t gates = 0;
  uint32_t depth = 0;
  uint32_t outputs = 0;
  std::vector<uint32_t> levelStart;  // depth + 2 entries, the last one is inputs + gates
  std::vector<uint32_t> pinStart;    // per gate, gates + 1 entries, into `pins`
  std::vector<uint32_t> pins;        // driver node of each gate input pin
  std::vector<GateType> type;        // per gate
  std::vector<uint8_t> isOutput;     // per gate
  std::vector<uint32_t> fanout;      // per node
  std::vector<uint32_t> nodeOfId;    // id - 1 -> node
  std::vector<uint32_t> idOfNode;    // node -> id - 1

  uint32_t nodes() const { return inputs + gates; }
  uint32_t fanin(uint32_t gate) const { return pinStart[gate + 1] - pinStart[gate]; }
};

// Builds the netlist described by `options`, which must already be in range (see ParseArgs).
// Throws tambril::Error ("gennet: ...") when the output target cannot be met with these
// gates, levels and fan-in.
Netlist Generate(const Options& options);

// Receives the text in chunks.
using Sink = std::function<void(std::string_view chunk)>;

// Writes the netlist file, a chunk at a time.
void WriteNetlist(const Netlist& netlist, const Sink& sink);

}  // namespace tambril::gennet
