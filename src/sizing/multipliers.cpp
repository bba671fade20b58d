// Lagrange multipliers: one per connection, kept at the receiver's pin. They form a flow of 1
// that enters at "Output" and runs back to the primary inputs; a node's lambdaSum, the sum over
// its pins, weights its delay.
#include "model/netlist.h"
#include "timing/maximum.h"
#include "timing/prefetch.h"

using namespace tambril;

// Both updates walk receivers before drivers: a node reads the multipliers of its fan-out
// connections, which its receivers (in higher levels) have written, and writes its own pins'.
void CNetlist::IntializeLM() {
  const int* start = graph.fanInStart.data();
  BackwardByLevel(graph, [&](int begin, int end) {
    for (int p = end - 1; p >= begin; --p) {
      const int first = start[p];
      const int last = start[p + 1];
      double sum = 0.0;
      if (graph.kind[p] == NodeKind::kSink) {
        // A header without a usable output count: share by the outputs actually present.
        const int outputs = outputCount > 0 ? outputCount : last - first;
        const double share = 1.0 / static_cast<double>(outputs);
        for (int e = first; e < last; ++e) {
          lambdas[e] = share;
          sum += share;
        }
      } else {
        double flow = 0.0;
        for (int k = graph.fanOutStart[p]; k < graph.fanOutStart[p + 1]; ++k) {
          flow += lambdas[graph.fanOutEdge[k]];
        }
        const double fanInCount = static_cast<double>(last - first);
        for (int e = first; e < last; ++e) {
          lambdas[e] = flow / fanInCount;
          sum += lambdas[e];
        }
      }
      lambdaSum[p] = sum;
    }
  });
}

void CNetlist::UpdateLM() {
  const int* start = graph.fanInStart.data();
  const double* pin = arrivals.data();
  BackwardByLevel(graph, [&](int begin, int end) {
    for (int p = end - 1; p >= begin; --p) {
      if (graph.kind[p] == NodeKind::kSource) continue;
      const int first = start[p];
      const int last = start[p + 1];
      const double delay = current.delay[p];
      const double arrival = MaxOf(pin + first, last - first) + delay;

      // Each pin's term is kept in its multiplier's place until the scale is known; the
      // multipliers read below for the flow are other nodes' pins.
      double share = 0.0;
      for (int e = first; e < last; ++e) {
        lambdas[e] = ((pin[e] + delay) * lambdas[e]) / arrival;
        share = share + lambdas[e];
      }

      double flow;
      if (graph.kind[p] == NodeKind::kSink) {
        maxDelay = arrival;  // one node: one thread writes it
        flow = 1.0;
      } else {
        flow = 0.0;
        for (int k = graph.fanOutStart[p]; k < graph.fanOutStart[p + 1]; ++k) {
          // The walk runs backwards, so the entries ahead are the ones below.
          if (k >= kPrefetchDistance) {
            PrefetchRead(&lambdas[graph.fanOutEdge[k - kPrefetchDistance]]);
          }
          flow += lambdas[graph.fanOutEdge[k]];
        }
      }

      double sum = 0.0;
      if (flow == 0.0 || arrival == 0.0 || share == 0.0) {
        // A node that drives nothing, or whose arrival is 0, would divide 0 by 0: spread the
        // flow evenly instead, as the initial multipliers do.
        const double even = last > first ? flow / static_cast<double>(last - first) : 0.0;
        for (int e = first; e < last; ++e) {
          lambdas[e] = even;
          sum += even;
        }
      } else {
        const double scale = flow / share;
        for (int e = first; e < last; ++e) {
          lambdas[e] = lambdas[e] * scale;
          sum += lambdas[e];
        }
      }
      lambdaSum[p] = sum;
    }
  });
}
