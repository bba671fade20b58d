#ifndef TAMBRIL_SIZING_AREAMETHOD_H
#define TAMBRIL_SIZING_AREAMETHOD_H

#include <limits>
#include <string>

#include "sizing/method.h"
#include "sizing/robustMethod.h"

namespace tambril::sizing {

// The least total gate size A = sum of x over the gates, subject to a circuit delay of at most
// T (parameters.delayTarget), sizes within their bounds.
//
// Relaxed as the delay problem is (a multiplier on every connection, the multipliers a flow
// from "Output" back to the inputs), the problem's Lagrangian is A + sum_v mu_v D_v - Lambda T,
// where mu_v is node v's multiplier sum, D_v its delay and Lambda the flow into "Output". With
// the flow scaled to 1 (its shape, which the robust re-weighting keeps) and w = 1 / Lambda:
//
//   L = (sum_v mu_v D_v + w A - T) / w.
//
// For fixed multipliers the inner loop minimises the weighted delays plus w A: the same sweeps
// as for the delay, each gate taking x = sqrt(mu R load / (Cin U + w)) (U its weighted
// upstream resistance; Optimizer::SetAreaWeight). If V is the value it reaches, (V - T) / w is
// a lower bound on the area of every sizing that meets T, whatever the shape and w > 0.
//
// The outer loop re-weights the shape as the robust method does, with a larger step and a
// smaller even share (a slack path costs area here, not only a looser bound), and moves w so
// that the circuit delay D of each pass comes to T: a secant step in log w on log(D / T), at
// most a factor of 4 a pass, and no step down while the last one did not make the circuit
// faster (the shape is still catching up). Logarithms and exponentials are rational forms from
// the four basic operations, as the robust step's, so the numbers depend on IEEE arithmetic
// alone. The upper bound is the least area of a pass that meets T with room to spare for the
// rounding of the printed sizes (see Conclude).
//
// Stop rule, as the robust method's but in areas: a pass that looks close enough is certified
// by the inner loop run from its sizes, on a copy, to a threshold far below the outer one; the
// run has converged when (best area - certified bound) / certified bound <= OUTER. The log
// holds the lower bound (an area) and the least area so far that meets T ("inf" until a pass
// has).
//
// Two ends:
//  - T at or above the delay of the minimum sizes: they are the least area; no pass is made.
//  - T below the minimum delay: w falls pass after pass and the lower bound grows without
//    limit; once a certified bound exceeds the area of every gate at its maximum size, no
//    sizing can meet T. The loop goes on until the fastest sizing seen is also within OUTER
//    of the least delay (every sizing's delay is at least its weighted delay, so at least
//    V - w times that largest area), and that sizing is the result, with a warning;
//    Statistics::targetMissed is set (also when the pass cap comes before any pass met T).
class AreaMethod : public Method {
 public:
  explicit AreaMethod(const Parameters& parameters);

  void Start(Optimizer& optimizer) override;
  void Update(Optimizer& optimizer, int pass) override;
  Next Judge(Optimizer& optimizer, int pass) override;
  bool ReportsLastPass(const Statistics&) const override { return false; }
  int PrintedPasses(const Statistics& stats) const override { return stats.loggedPasses; }
  std::string BestPass() const override {
    return "the one with the smallest area that meets the target";
  }
  // Rounds the result's sizes to the digits that the result file prints and times them again,
  // so that the file states exactly what was timed; warns when no sizing met the target.
  std::string Conclude(Optimizer& optimizer) override;

  // The controller of w: the next factor of w from the delay of the pass just timed.
  double NextWeightFactor(double delay);

 private:
  double target_;
  double certifyThreshold_;
  RobustMethod shape_;  // its re-weighting, with constants of our own

  bool minimumSizesMeet_ = false;
  double maxArea_ = 0.0;  // every gate at its maximum size: no sizing has more area
  double bestArea_ = std::numeric_limits<double>::infinity();
  double certified_ = -std::numeric_limits<double>::infinity();
  double shortfall_ = 0.0;
  // The best certified lower bound on the delay of every sizing, V - w maxArea.
  double certifiedDelay_ = -std::numeric_limits<double>::infinity();

  // The controller: log w since the start (the sum of the steps taken), the last step, and
  // log(D / T) of the pass before.
  double logWeight_ = 0.0;
  double lastStep_ = 0.0;
  double lastExcess_ = 0.0;
  bool hasLast_ = false;
  double pendingFactor_ = 1.0;  // from Judge to Update
};

}  // namespace tambril::sizing

#endif
