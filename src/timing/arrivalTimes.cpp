// Arrival times: every node's output arrival is the latest output arrival of its drivers plus
// its own delay. Drivers lie in lower levels, so each driver's arrival is final when read.
#include "timing/arrivalTimes.h"

#include "util/prefetch.h"

namespace tambril {

void ComputeArrivalTimes(const TimingGraph& graph, const double* size, const double* load,
                         NodeTiming* timing) {
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  const NodeKind* kind = graph.kind.data();
  const int edges = graph.EdgeCount();
  ForwardByLevel(graph, [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      const int begin = start[p];
      const int end = start[p + 1];
      // The latest pin; among equal ones the later, as a stable ascending sort would leave it.
      double latest = 0.0;
      for (int e = begin; e < end; ++e) {
        if (e + kPrefetchDistance < edges) PrefetchRead(&timing[driver[e + kPrefetchDistance]]);
        const double pin = timing[driver[e]].arrival;
        if (e == begin || !(pin < latest)) latest = pin;
      }
      const double delay = NodeDelay(kind[p], graph.Constants(p), size[p], load[p]);
      timing[p].delay = delay;
      timing[p].arrival = latest + delay;
    }
  });
}

}  // namespace tambril
