#ifndef TAMBRIL_TOOLS_COMMON_NETLISTREADER_H
#define TAMBRIL_TOOLS_COMMON_NETLISTREADER_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/gateTypes.h"

namespace tambril::tools {

// A TAMBRIL netlist as the tools read it back: the nodes in id order (node id k at index
// k - 1), each a primary input or a gate of the gate table, with the ids of its drivers.
struct Netlist {
  static constexpr uint8_t kInput = 0xff;
  std::vector<uint8_t> type;         // per node: a GateType, or kInput
  std::vector<uint8_t> output;       // per node: 1 for a primary output
  std::vector<uint32_t> faninStart;  // per node and one more: its pins are [start, next start)
  std::vector<uint32_t> fanins;      // driver ids, in pin order

  size_t Nodes() const { return type.size(); }
  bool IsInput(size_t k) const { return type[k] == kInput; }
  GateType TypeOf(size_t k) const { return static_cast<GateType>(type[k]); }
  size_t FaninCount(size_t k) const { return faninStart[k + 1] - faninStart[k]; }
  uint32_t Fanin(size_t k, size_t pin) const { return fanins[faninStart[k] + pin]; }
};

// Reads a netlist by the rules the sizer reads it by, and as the tools write it: a header of
// five counts (the last the number of node lines, at least 1), every counted node line, then
// blank lines only; counts are plain decimal numbers; gates are types of the gate table, INV
// and BUF with one input; every driver id in range; each node's fan-out count equal to the pins
// it drives; no cycle. Throws LineError.
Netlist ReadNetlist(std::string_view text);

}  // namespace tambril::tools

#endif
