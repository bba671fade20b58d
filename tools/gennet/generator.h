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
//
// Options change the mix (see Options): fan-ins drawn evenly, a cap on fan-outs, even picks
// instead of hubs, other type mixes, reconvergent pins. With --shape dag the circuit is not
// built level by level but gate after gate, as a random directed acyclic graph:
//  - primary inputs come first (default gates / 20), then the gates, each reading nodes made
//    before it; the file's ids are again a random permutation;
//  - O nodes that nothing reads yet are kept open (O = the output target, default gates / 40):
//    a pin reads a random one of them when O are open, otherwise a primary input that nothing
//    reads yet, otherwise a random node made before it (of the last W with --window W);
//  - the gates left open at the end are primary outputs, and random gates that do drive pins
//    make up the rest of the O outputs. The longest path has no set length: it grows as O or W
//    shrink (about 40 gates at the defaults, whatever the size).
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

constexpr uint32_t kMaxPercent = 100;

enum class Shape : uint8_t { kLevelized, kDag };
// Fan-ins: mostly 2 or 3 (skewed), or 1..max-fanin with equal chances (even).
enum class FaninMix : uint8_t { kSkewed, kEven };
// Gate types. Fan-in 1 makes an INV or BUF; more: mixed (NAND 5/16, AND, NOR, OR 3/16 each,
// XOR, XNOR 1/16 each), even (AND, NAND, OR, NOR, XOR, XNOR alike; INV and BUF alike),
// nand-nor (NAND or NOR, INV), xor-heavy (XOR or XNOR half of the time, the mixed types
// otherwise).
enum class TypeMix : uint8_t { kMixed, kEven, kNandNor, kXorHeavy };
// Where random pins land among their candidates: half of them near the first nodes of a level
// (or of the window), which makes hubs, or all evenly. Default: hubs levelized, even dag.
enum class FanoutPick : uint8_t { kDefault, kHubs, kEven };

struct Options {
  uint32_t gates = 0;
  uint64_t seed = 0;
  uint32_t inputs = 0;    // 0: DefaultInputs(gates), or gates / 20 for a dag
  uint32_t outputs = 0;   // 0: no target, the count follows from the shape; gates / 40 for a dag
  uint32_t maxFanin = 4;  // 1..kMaxFanin
  uint32_t depth = 0;     // 0: DefaultDepth(gates); levelized only
  Shape shape = Shape::kLevelized;
  FaninMix faninMix = FaninMix::kSkewed;
  TypeMix types = TypeMix::kMixed;
  FanoutPick fanout = FanoutPick::kDefault;
  uint32_t maxFanout = 0;      // 0: none; random pins avoid nodes that drive this many pins
  uint32_t window = 0;         // dag only; 0: random pins read any node made before
  uint32_t reconvergence = 0;  // percent of random non-first pins read from the first driver's
                               // own drivers, so that two paths meet again at the gate
};

// round(3 * log2(gates)), at least 1 and at most `gates`.
uint32_t DefaultDepth(uint32_t gates);
// floor(2 * sqrt(gates)), at least 1.
uint32_t DefaultInputs(uint32_t gates);

// A generated circuit, indexed in level order (a dag: in the order made): nodes [0, inputs) are
// the primary inputs, node inputs + g is gate g, and levelStart[L] is the first node of level L
// (levelized only; empty for a dag).
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
