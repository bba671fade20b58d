#ifndef TAMBRIL_SIZING_SIZINGSTATE_H
#define TAMBRIL_SIZING_SIZINGSTATE_H

#include <vector>

#include "util/hugePages.h"

namespace tambril::sizing {

// A sizing of the circuit, by position of the timing graph: every gate's size (m^2) and every
// node's output load (F) for those sizes. The loads always belong to the sizes (a load sweep
// recomputes them exactly); delays follow from both (NodeDelay). The inner loop keeps two, the
// kept state and a trial, and accepting a trial swaps the two.
struct Sizing {
  void Reset(int nodeCount) {
    AssignLarge(size, nodeCount, 0.0);
    AssignLarge(loadCap, nodeCount, 0.0);
  }
  void Swap(Sizing& other) {
    size.swap(other.size);
    loadCap.swap(other.loadCap);
  }

  std::vector<double> size;
  std::vector<double> loadCap;
};

// The Lagrange multipliers: one per connection, by fan-in edge of the timing graph, kept at the
// receiver's pin. They form a flow that enters at "Output" and runs back to the primary inputs.
// The weight of a node's delay is the sum of its pins' multipliers, in pin order (NodeWeight).
struct Multipliers {
  std::vector<double> lambda;  // by edge
};

// The sum of the multipliers of pins [first, last) of one node, from 0, in pin order.
inline double NodeWeight(const double* lambda, int first, int last) {
  double sum = 0.0;
  for (int e = first; e < last; ++e) sum += lambda[e];
  return sum;
}

}  // namespace tambril::sizing

#endif
