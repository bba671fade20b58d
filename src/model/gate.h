#ifndef TAMBRIL_MODEL_GATE_H
#define TAMBRIL_MODEL_GATE_H

#include <string_view>
#include <vector>

// CGate holds the values of one node of the circuit graph: its identity, the electrical
// constants copied from the gate library, the optimiser's working values and the size that
// the run chooses. It is a value: copying one copies its vectors.
//
// Units are SI throughout: ohms, farads, seconds and square metres (sizes); the per-unit-size
// constants are per square metre. A node's kind is told by its name alone: "Input" and
// "Output" are the two pseudo-nodes, "pri" a primary-input driver, anything else a gate whose
// name is its library type.
class CGate {
 public:
  // A name holds at most kMaxNameLength characters (plus the terminator); longer names are
  // truncated on assignment. The readers reject longer names before they get here.
  static constexpr int kMaxNameLength = 9;

  CGate();
  CGate(std::string_view name, int id);
  CGate(const CGate&) = default;
  CGate& operator=(const CGate&) = default;
  CGate(CGate&&) = default;
  CGate& operator=(CGate&&) = default;
  virtual ~CGate();

  // Equal when names and ids are equal; ordered by id alone.
  bool operator==(const CGate& other) const;
  bool operator<(const CGate& other) const;

  void SetName(std::string_view text);
  std::string_view Name() const { return name; }

  char name[kMaxNameLength + 1];
  int id;
  int fanInCount;
  int fanOutCount;
  double unitResistance;        // ohm * m^2 for gates; the driver resistance (ohm) for "pri"
  double upstreamResistance;    // multiplier-weighted resistance of the drivers
  double unitInputCap;          // F/m^2 per input pin; the absolute output load (F) for "Output"
  double loadCap;               // F at the node's output
  double unitOutputCap;         // F/m^2 of the gate's own output
  double lambdaSum;             // sum of lambdas: the weight of this node's delay
  std::vector<double> lambdas;  // one multiplier per fan-in pin
  std::vector<double> inputArrivals;  // seconds, one per fan-in pin
  double delay;                       // seconds
  double size;                        // m^2
  double minSize;                     // m^2
  double maxSize;                     // m^2
  int isPrimaryOutput;                // 1 for a gate read from a "po" line
};

namespace tambril {

// Node kinds by their reserved names.
bool IsSourceNode(const CGate& gate);            // "Input"
bool IsSinkNode(const CGate& gate);              // "Output"
bool IsPrimaryInputNode(const CGate& gate);      // "pri"
bool IsReservedNodeName(std::string_view name);  // one of the three above

}  // namespace tambril

#endif
