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
  const int n = graph.NodeCount();
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  const double* delay = current.delay.data();
  double* pin = arrivals.data();
  double* out = outputArrival.data();
  const int edges = graph.EdgeCount();
  // Drivers come before their receivers, so each driver's output arrival is final when read;
  // it is worked out once per node rather than once per connection.
  for (int p = 0; p < n; ++p) {
    const int first = start[p];
    const int last = start[p + 1];
    for (int e = first; e < last; ++e) {
      if (e + kPrefetchDistance < edges) PrefetchRead(&out[driver[e + kPrefetchDistance]]);
      pin[e] = out[driver[e]];
    }
    out[p] = MaxOf(pin + first, last - first) + delay[p];
  }
}
