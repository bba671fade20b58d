#ifndef TAMBRIL_MODEL_PART_H
#define TAMBRIL_MODEL_PART_H

#include <vector>

#include "model/gate.h"

// PartInfo is one connection as stored at one of its two ends: the id of the node at the
// other end and the input pin of the receiving node. The two values are carried from the
// netlist file and never used in a computation.
struct PartInfo {
  int node = 0;
  int pin = 0;
  double connValue1 = 0.0;
  double connValue2 = 0.0;
};

// PartType is one node of the circuit graph: its values and its connections. fanIns lists the
// drivers in pin order; fanOuts lists the receivers by ascending id, then pin. Two nodes are
// equal when their ids are.
struct PartType {
  bool operator==(const PartType& other) const { return gate.id == other.gate.id; }

  CGate gate;
  std::vector<PartInfo> fanIns;
  std::vector<PartInfo> fanOuts;
};

#endif
