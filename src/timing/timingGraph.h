#ifndef TAMBRIL_TIMING_TIMINGGRAPH_H
#define TAMBRIL_TIMING_TIMINGGRAPH_H

#include <cstdint>
#include <vector>

#include "model/part.h"
#include "util/parallel.h"

namespace tambril {

enum class NodeKind : std::uint8_t { kGate, kPrimaryInput, kSource, kSink };

// The electrical constants of a node, as its record holds them: a gate's are those of its
// library row; a primary input's resistance is the driver's, in ohms; "Output" holds the
// absolute output load as its input capacitance.
struct NodeConstants {
  double unitResistance;  // ohm * m^2 (ohm for a primary input)
  double unitInputCap;    // F/m^2 per input pin (F for "Output")
  double unitOutputCap;   // F/m^2
  double minSize;         // m^2
  double maxSize;         // m^2
};

// TimingGraph is the circuit graph in the flat form that the optimiser sweeps: nodes are
// renumbered level by level, a node's level being the longest path to it from "Input" (level
// 0), ascending ids within a level. That is a topological order, so a forward walk is
// p = 0, 1, ... and a backward walk the reverse, both streaming through memory; and no
// connection joins two nodes of one level, so the nodes of a level can be worked on at the
// same time. Connections are in compressed sparse rows:
//  - the fan-in edges of position p are fanInStart[p] .. fanInStart[p + 1] - 1, in pin order;
//    per-edge values (multipliers, pin arrivals) are kept in arrays indexed by edge;
//  - the fan-out entries of position p are fanOutStart[p] .. fanOutStart[p + 1] - 1, in the
//    order of the node's fanOuts list (receiver id, then pin), each naming the receiver's
//    position and the fan-in edge of the connection.
// The constants of a node are one of a few distinct sets (one per library row in use), kept
// once each and named by index. It is built once from the record graph and never changes; it
// owns no optimiser state.
struct TimingGraph {
  // `order` is any topological order of the ids (drivers first).
  void Build(const std::vector<PartType>& parts, const std::vector<int>& order);

  int NodeCount() const { return static_cast<int>(kind.size()); }
  int EdgeCount() const { return static_cast<int>(fanInDriver.size()); }
  int Position(int id) const { return positionOfId[id - 1]; }
  const NodeConstants& Constants(int position) const { return constants[constantsOf[position]]; }

  std::vector<int> positionOfId;  // node id - 1 -> position
  std::vector<NodeKind> kind;
  std::vector<std::uint8_t> isPrimaryOutput;
  std::vector<std::int32_t> constantsOf;  // position -> index into `constants`
  std::vector<NodeConstants> constants;   // every distinct set, in order of first use by id

  std::vector<int> fanInStart;   // NodeCount() + 1 entries
  std::vector<int> fanInDriver;  // driver position of each edge

  std::vector<int> fanOutStart;     // NodeCount() + 1 entries
  std::vector<int> fanOutEdge;      // edge index of each fan-out entry
  std::vector<int> fanOutReceiver;  // receiver position of each fan-out entry

  int sinkPosition = -1;  // position of "Output"

  // The schedule of a sweep: consecutive position ranges, in forward order, covering every
  // position. A wide span is one level of at least kMinWideLevel nodes, split among the
  // threads; a narrow span holds consecutive narrower levels, taken in order by one thread
  // (deep circuits have thousands of levels of a few nodes, where a barrier per level would
  // cost more than the work).
  std::vector<Span> spans;
  int levelCount = 0;
};

// body(first, last) over every position, drivers before receivers: body walks its range
// upwards. Every node must depend only on its own values and its drivers'.
template <typename Body>
void ForwardByLevel(const TimingGraph& graph, const Body& body) {
  if (ThreadCount() == 1) return body(0, graph.NodeCount());
  RunSchedule(graph.spans, false, body);
}

// body(first, last) over every position, receivers before drivers: body walks its range
// downwards. Every node must depend only on its own values and its receivers'.
template <typename Body>
void BackwardByLevel(const TimingGraph& graph, const Body& body) {
  if (ThreadCount() == 1) return body(0, graph.NodeCount());
  RunSchedule(graph.spans, true, body);
}

}  // namespace tambril

#endif
