#include "sizing/classicMethod.h"

#include "sizing/optimizer.h"
#include "util/prefetch.h"

namespace tambril::sizing {

void ClassicUpdate(const TimingGraph& graph, const NodeTiming* timing, Multipliers& multipliers) {
  const int* start = graph.fanInStart.data();
  const int* driver = graph.fanInDriver.data();
  double* lambdas = multipliers.lambda.data();
  BackwardByLevel(graph, [&](int begin, int end) {
    for (int p = end - 1; p >= begin; --p) {
      if (graph.kind[p] == NodeKind::kSource) continue;
      const int first = start[p];
      const int last = start[p + 1];
      const double delay = timing[p].delay;
      const double arrival = timing[p].arrival;

      // Each pin's term is kept in its multiplier's place until the scale is known; the
      // multipliers read below for the flow are other nodes' pins.
      double share = 0.0;
      for (int e = first; e < last; ++e) {
        // The walk runs backwards, so the edges ahead are the ones below.
        if (e >= kPrefetchDistance) PrefetchRead(&timing[driver[e - kPrefetchDistance]]);
        lambdas[e] = ((timing[driver[e]].arrival + delay) * lambdas[e]) / arrival;
        share = share + lambdas[e];
      }

      double flow;
      if (graph.kind[p] == NodeKind::kSink) {
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

      if (flow == 0.0 || arrival == 0.0 || share == 0.0) {
        // A node that drives nothing, or whose arrival is 0, would divide 0 by 0: spread the
        // flow evenly instead, as the starting multipliers do.
        const double even = last > first ? flow / static_cast<double>(last - first) : 0.0;
        for (int e = first; e < last; ++e) {
          lambdas[e] = even;
        }
      } else {
        const double scale = flow / share;
        for (int e = first; e < last; ++e) {
          lambdas[e] = lambdas[e] * scale;
        }
      }
    }
  });
}

void ClassicMethod::Update(Optimizer& optimizer, int) {
  ClassicUpdate(optimizer.Graph(), optimizer.Timing().data(), optimizer.Lambdas());
}

Next ClassicMethod::Judge(Optimizer& optimizer, int pass) {
  optimizer.LogPass();
  if (pass == 0) return Next::kContinue;
  // Met, or not a number.
  if (!(RelativeGap(optimizer.MaxDelay(), optimizer.LowerBound()) >
        optimizer.parameters.outerThreshold)) {
    optimizer.Stats().converged = true;
    return Next::kClose;
  }
  return pass >= optimizer.parameters.maxOuterPasses ? Next::kClose : Next::kContinue;
}

bool ClassicMethod::ReportsLastPass(const Statistics& stats) const {
  return stats.converged || stats.reportedPass == 0;
}

}  // namespace tambril::sizing
