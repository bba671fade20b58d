// Sink removal. The order is defined by passes over the nodes in ascending id: a pass removes
// every node whose fan-out count is 0 when the scan reaches it, and each removal takes one
// count off every driver it names. A driver that reaches 0 is removed later in the same pass if
// its id is higher than the node just removed, and in the next pass otherwise.
//
// Instead of rescanning, the nodes still due in the current pass wait in a min-heap of ids
// (every id pushed is above the one being removed, so popping gives exactly the scan's order),
// and those due in the next pass in a list that becomes the next heap. Each node is pushed and
// popped once and each connection is visited once: O((V + E) log V) time, O(V) extra memory.
#include <algorithm>
#include <functional>
#include <queue>

#include "model/netlist.h"

bool CNetlist::TopologicalSort(const std::vector<PartType>& nodes, std::vector<int>& order,
                               bool forward) const {
  const int n = static_cast<int>(nodes.size());
  order.clear();
  order.reserve(n);
  std::vector<int> remaining(n);
  std::vector<char> removed(n, 0);
  std::vector<int> due;   // ids due in the current pass, as a min-heap
  std::vector<int> next;  // ids due in the next pass
  for (int k = 0; k < n; ++k) {
    remaining[k] = nodes[k].gate.fanOutCount;
    if (remaining[k] == 0) due.push_back(k + 1);  // ascending: already a valid heap
  }
  const auto later = std::greater<int>();
  while (!due.empty()) {
    while (!due.empty()) {
      std::pop_heap(due.begin(), due.end(), later);
      const int id = due.back();
      due.pop_back();
      // A count driven below zero (more connections than the count said) never comes back.
      if (remaining[id - 1] != 0) continue;
      removed[id - 1] = 1;
      order.push_back(id);
      for (const PartInfo& fanIn : nodes[id - 1].fanIns) {
        const int driver = fanIn.node;
        // Connections to ids that do not exist, or to nodes already removed, count for nothing.
        if (driver < 1 || driver > n || removed[driver - 1]) continue;
        if (--remaining[driver - 1] != 0) continue;
        if (driver > id) {
          due.push_back(driver);
          std::push_heap(due.begin(), due.end(), later);
        } else {
          next.push_back(driver);
        }
      }
    }
    std::sort(next.begin(), next.end());
    due.swap(next);
    next.clear();
  }
  const bool complete = static_cast<int>(order.size()) == n;
  if (forward) std::reverse(order.begin(), order.end());
  return complete;
}
