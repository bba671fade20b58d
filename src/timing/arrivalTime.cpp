// Arrival times: every pin of every node gets the output arrival of its driver, the latest pin
// arrival of the driver plus the driver's delay.
#include "model/netlist.h"
#include "timing/maximum.h"
#include "timing/prefetch.h"

using namespace tambril;

double CNetlist::maximum(std::vector<double> values) const {
  return MaxOf(values.data(), static_cast<int>(values.size()));
}

void CNetlist::ComputeArrivalTime() {
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  const double* delay = current.delay.data();
  double* pin = arrivals.data();
  double* out = outputArrival.data();
  const int edges = graph.EdgeCount();
  // Drivers lie in lower levels, so each driver's output arrival is final when read; it is
  // worked out once per node rather than once per connection.
  ForwardByLevel(graph, [&](int first, int last) {
    for (int p = first; p < last; ++p) {
      const int begin = start[p];
      const int end = start[p + 1];
      for (int e = begin; e < end; ++e) {
        if (e + kPrefetchDistance < edges) PrefetchRead(&out[driver[e + kPrefetchDistance]]);
        pin[e] = out[driver[e]];
      }
      out[p] = MaxOf(pin + begin, end - begin) + delay[p];
    }
  });
}
