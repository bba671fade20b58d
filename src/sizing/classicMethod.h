#ifndef TAMBRIL_SIZING_CLASSICMETHOD_H
#define TAMBRIL_SIZING_CLASSICMETHOD_H

#include "sizing/method.h"
#include "sizing/sizingState.h"
#include "timing/arrivalTimes.h"

namespace tambril::sizing {

// The classic re-weighting: at every node but "Input", each pin's multiplier is multiplied by
// (pin arrival + node delay) / node arrival, and the node's pins are then scaled to pass on the
// flow that its receivers take (1 into "Output"). A node whose flow, arrival or shares are 0
// splits its flow evenly instead. Receivers before drivers, level by level on the run's threads.
void ClassicUpdate(const TimingGraph& graph, const NodeTiming* timing, Multipliers& multipliers);

// The classic method: ClassicUpdate after every pass, the starting sizes logged as the first
// pass; it stops when a pass's bounds are within the outer threshold of each other (the gap
// |a/(a+b) - b/(a+b)|), or at the pass cap, after one closing pass. It reports its last pass
// when the bounds met, and otherwise its fastest.
class ClassicMethod : public Method {
 public:
  void Update(Optimizer& optimizer, int pass) override;
  Next Judge(Optimizer& optimizer, int pass) override;
  bool ReportsLastPass(const Statistics& stats) const override;
  int PrintedPasses(const Statistics& stats) const override { return stats.outerPasses + 1; }
  std::string CapHint() const override { return " (--method robust converges)"; }
};

}  // namespace tambril::sizing

#endif
