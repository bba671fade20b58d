#ifndef TAMBRIL_SIZING_NODEVALUES_H
#define TAMBRIL_SIZING_NODEVALUES_H

#include <vector>

#include "model/hugePages.h"

namespace tambril {

// NodeValues is the part of the optimiser's state that one resize sweep rewrites, by position
// of the timing graph: sizes (m^2), output loads (F), weighted upstream resistances (ohm) and
// delays (s). The inner loop keeps two of them, the kept state and a trial, and accepting a
// trial swaps the two.
struct NodeValues {
  void Reset(int nodeCount) {
    AssignLarge(size, nodeCount, 0.0);
    AssignLarge(loadCap, nodeCount, 0.0);
    AssignLarge(upstreamResistance, nodeCount, 0.0);
    AssignLarge(delay, nodeCount, 0.0);
  }
  void Swap(NodeValues& other) {
    size.swap(other.size);
    loadCap.swap(other.loadCap);
    upstreamResistance.swap(other.upstreamResistance);
    delay.swap(other.delay);
  }

  std::vector<double> size;
  std::vector<double> loadCap;
  std::vector<double> upstreamResistance;
  std::vector<double> delay;
};

}  // namespace tambril

#endif
