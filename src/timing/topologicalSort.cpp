// Sink removal. The order is defined by passes over the nodes in ascending id: a pass removes
// every node whose fan-out count is 0 when the scan reaches it, and each removal takes one
// count off every driver it names. A driver that reaches 0 is removed later in the same pass if
// its id is higher than the node just removed, and in the next pass otherwise.
//
// So the pass of a node follows from its receivers alone: a node without receivers goes in
// pass 1, and a driver d goes in the latest of pass(r) + (d < r ? 1 : 0) over its receivers r
// (the receiver removed last decides, and no other receiver gives more). The passes are worked
// out in any receivers-first order (a queue of nodes whose counts reached 0), and the nodes
// are then laid out by pass, ascending ids within a pass, with a counting sort. Every node and
// connection is visited once: O(V + E) time and O(V + E) extra memory (the drivers are first
// copied into one flat array, so that the receivers-first walk does not chase node records).
#include "timing/topologicalSort.h"

#include <algorithm>

#include "util/hugePages.h"
#include "util/parallel.h"
#include "util/prefetch.h"

namespace tambril {

bool TopologicalOrder(const std::vector<PartType>& nodes, std::vector<int>& order, bool forward) {
  const int n = static_cast<int>(nodes.size());
  order.clear();
  std::vector<int> firstDriver(n + 1, 0);
  for (int k = 0; k < n; ++k) {
    firstDriver[k + 1] = firstDriver[k] + static_cast<int>(nodes[k].fanIns.size());
  }
  std::vector<int> drivers;
  AssignLarge(drivers, firstDriver[n], 0);
  ParallelFor(0, n, [&](int first, int last) {
    for (int k = first; k < last; ++k) {
      int* out = drivers.data() + firstDriver[k];
      for (const PartInfo& fanIn : nodes[k].fanIns) *out++ = fanIn.node - 1;
    }
  });

  std::vector<int> remaining(n);
  std::vector<int> pass(n, 1);
  std::vector<int> queue;
  queue.reserve(n);
  for (int k = 0; k < n; ++k) {
    remaining[k] = nodes[k].gate.fanOutCount;
    if (remaining[k] == 0) queue.push_back(k);
  }
  bool consistent = true;
  // The queue visits the nodes at random: a node's row, its drivers and their counts are
  // reads that wait on one another, so they are asked for in stages some entries ahead (the
  // entries that are already there).
  constexpr size_t kAhead = 8;
  for (size_t head = 0; head < queue.size(); ++head) {
    if (head + 3 * kAhead < queue.size()) PrefetchRead(&firstDriver[queue[head + 3 * kAhead]]);
    if (head + 2 * kAhead < queue.size()) {
      PrefetchRead(drivers.data() + firstDriver[queue[head + 2 * kAhead]]);
    }
    if (head + kAhead < queue.size()) {
      const int ahead = queue[head + kAhead];
      PrefetchRead(&pass[ahead]);
      for (int i = firstDriver[ahead]; i < firstDriver[ahead + 1]; ++i) {
        const int driver = drivers[i];
        if (driver < 0 || driver >= n) continue;
        PrefetchRead(&remaining[driver]);
        PrefetchRead(&pass[driver]);
      }
    }
    const int receiver = queue[head];
    for (int i = firstDriver[receiver]; i < firstDriver[receiver + 1]; ++i) {
      const int driver = drivers[i];
      if (driver < 0 || driver >= n) continue;  // names no node: counts for nothing
      if (remaining[driver] <= 0) {
        consistent = false;  // more connections than the driver's count says
        continue;
      }
      const int due = pass[receiver] + (driver < receiver ? 1 : 0);
      if (due > pass[driver]) pass[driver] = due;
      if (--remaining[driver] == 0) queue.push_back(driver);
    }
  }
  if (!consistent || static_cast<int>(queue.size()) != n) {
    // A cycle, or counts that disagree with the connections: no complete order exists.
    for (int k : queue) order.push_back(k + 1);
    return false;
  }

  int lastPass = 0;
  for (int p : pass) lastPass = std::max(lastPass, p);
  std::vector<int> start(lastPass + 2, 0);
  for (int p : pass) ++start[p + 1];
  for (int p = 1; p <= lastPass + 1; ++p) start[p] += start[p - 1];
  order.resize(n);
  for (int k = 0; k < n; ++k) order[start[pass[k]]++] = k + 1;
  if (forward) std::reverse(order.begin(), order.end());
  return true;
}

}  // namespace tambril
