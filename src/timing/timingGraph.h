#ifndef TAMBRIL_TIMING_TIMINGGRAPH_H
#define TAMBRIL_TIMING_TIMINGGRAPH_H

#include <cstdint>
#include <vector>

#include "model/part.h"

namespace tambril {

enum class NodeKind : std::uint8_t { kGate, kPrimaryInput, kSource, kSink };

// TimingGraph is the circuit graph in the flat form that the optimiser sweeps: nodes are
// renumbered by their place in the forward topological order (position p is forwardOrder[p]),
// so a forward walk is p = 0, 1, ... and a backward walk the reverse, both streaming through
// memory. Connections are in compressed sparse rows:
//  - the fan-in edges of position p are fanInStart[p] .. fanInStart[p + 1] - 1, in pin order;
//    per-edge values (multipliers, pin arrivals) are kept in arrays indexed by edge;
//  - the fan-out entries of position p are fanOutStart[p] .. fanOutStart[p + 1] - 1, in the
//    order of the node's fanOuts list (receiver id, then pin), each naming the receiver's
//    position and the fan-in edge of the connection.
// It is built once from the record graph and never changes; it owns no optimiser state.
struct TimingGraph {
  void Build(const std::vector<PartType>& parts, const std::vector<int>& forwardOrder);

  int NodeCount() const { return static_cast<int>(kind.size()); }
  int EdgeCount() const { return static_cast<int>(fanInDriver.size()); }
  int Position(int id) const { return positionOfId[id - 1]; }
  int FirstEdge(int id, int pin) const { return fanInStart[Position(id)] + pin; }

  std::vector<int> idAt;          // position -> node id
  std::vector<int> positionOfId;  // node id - 1 -> position
  std::vector<NodeKind> kind;
  std::vector<std::uint8_t> isPrimaryOutput;

  std::vector<int> fanInStart;   // NodeCount() + 1 entries
  std::vector<int> fanInDriver;  // driver position of each edge

  std::vector<int> fanOutStart;     // NodeCount() + 1 entries
  std::vector<int> fanOutEdge;      // edge index of each fan-out entry
  std::vector<int> fanOutReceiver;  // receiver position of each fan-out entry

  // Library constants, by position.
  std::vector<double> unitResistance;
  std::vector<double> unitInputCap;
  std::vector<double> unitOutputCap;
  std::vector<double> minSize;
  std::vector<double> maxSize;

  int sinkPosition = -1;  // position of "Output"
};

}  // namespace tambril

#endif
