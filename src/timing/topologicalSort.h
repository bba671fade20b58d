#ifndef TAMBRIL_TIMING_TOPOLOGICALSORT_H
#define TAMBRIL_TIMING_TOPOLOGICALSORT_H

#include <vector>

#include "model/part.h"

namespace tambril {

// Sink-removal ordering of `nodes` (ids 1..n, nodes[k - 1] has id k): receivers before
// drivers, or the reverse when `forward`. Passes over the nodes in ascending id remove every
// node whose fan-out count has reached 0, each removal taking one count off every driver it
// names; the order is that removal order. Returns false, with `order` holding the nodes that
// could be ordered, when some node cannot be removed (a cycle, or fan-out counts that disagree
// with the connections). O(V + E).
bool TopologicalOrder(const std::vector<PartType>& nodes, std::vector<int>& order, bool forward);

}  // namespace tambril

#endif
