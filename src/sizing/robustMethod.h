#ifndef TAMBRIL_SIZING_ROBUSTMETHOD_H
#define TAMBRIL_SIZING_ROBUSTMETHOD_H

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "sizing/method.h"
#include "sizing/sizingState.h"
#include "timing/arrivalTimes.h"

namespace tambril::sizing {

// The constants of the robust method. They are the same for every circuit; the step adapts
// node by node.
struct RobustParameters {
  // The largest step: a pin whose slack is one delay of its driver loses this much of its
  // logarithm. The step of a node is damped when its critical pin changes and grows back.
  double step = 0.25;
  double damping = 0.7;
  double recovery = 1.25;
  // A gate with more pins than this is damped less, by 1 - (1 - damping) * widePins / pins:
  // among many pins the latest changes from pass to pass by chance, and damping it as often
  // as a gate of two pins froze the split of wide gates.
  int widePins = 4;
  // The step of "Output" is damped to no less than this. Its pins are the primary outputs, and
  // its split of the flow weighs whole output cones: where few outputs take turns being the
  // latest, damping alone would freeze that split.
  double outputStepFloor = 0.1;
  // No pin loses more than this much of its logarithm in one pass.
  double stepLimit = 1.0;
  // Each node gives this share of its flow, divided by the square root of the depth (or by the
  // depth with evenOverDepth), to an even split over its pins, so that a path that falls idle
  // can come back within a few passes. The flow that the share puts on paths with slack does
  // not hold the certified bound back (see strippedEvenTimes), and deep circuits whose sizing
  // drifts as their paths fall idle need it large. Above 0, evenDecay makes the share of
  // update k evenShare * evenDecay / (evenDecay + k): large while the multipliers are far off,
  // vanishing as they settle, with a diverging sum. Where few outputs share the flow, the
  // sizing keeps improving for as long as the share lasts: a faster fade left those runs
  // waiting on a sizing close enough to the bound.
  double evenShare = 0.05;
  double evenDecay = 15.0;
  bool evenOverDepth = false;
  // How late a pin is: its driver's arrival (the latest path) blended with its driver's mean
  // arrival under the flow (the mean path delay, each path weighted by its share of the flow),
  // the mean with weight meanShare * m / (m + meanDecay), m being the passes so far that found
  // no faster sizing. The latest path balances the sizing's paths, and alone converges fastest
  // where the delay keeps falling; the mean is the direction in which the lower bound rises,
  // and steadies the passes where they swing.
  double meanShare = 0.3;
  double meanDecay = 10.0;
  // The multipliers creep towards their optimum: update after update moves a pin's multiplier
  // a little further the same way, and the bound rises by as little. So each pin's new weight
  // is also multiplied by its multiplier's last change (the ratio of its multiplier to the one
  // before the last update, held within [1 / momentumRatio, momentumRatio]) raised to
  // momentum * (the node's step / step): a trend that lasts gathers speed. A node damped in
  // this update (its critical pin changed) follows no trend in it: there the multipliers
  // swing rather than creep.
  double momentum = 0.3;
  double momentumRatio = 2.0;
  // A pass's sizes swing about the optimum while the multipliers settle. The run keeps an
  // average of the passes' sizes in logarithms, each new pass weighing 1/4 (a geometric mean,
  // from square roots), and once a pass has found no faster sizing of its own, it times the
  // average too: the faster of the two is the pass's upper bound, and may be the result.
  bool averageSizes = true;
  // The share of the covering flow (every live connection positive) mixed into every update.
  double coverShare = 1e-9;
  // The even share keeps idle paths alive for the sizing, but the flow it puts on paths with
  // slack holds the lower bound back. So a certificate also solves for the stripped flow: at
  // each node, the flow split in proportion to what each pin carries beyond this many times
  // the even part of the last update (a pin that only the even share feeds settles at about
  // 1.6 of them). Any flow of 1 gives a lower bound; the certificate is the higher one.
  double strippedEvenTimes = 2.0;
  // The multipliers trend, so a certificate also pushes the stripped flow ahead along that
  // trend: each pin's part scaled by its multiplier's last change (held within
  // [1 / aheadRatio, aheadRatio]) raised to 2^d, as if the last update were made 2^d times
  // more. It tries d one below, at and one above the d whose flow was highest at the last
  // certificate (aheadDoublings at the first; 0 is the stripped flow itself, and no d exceeds
  // aheadMostDoublings): any flow's value is a lower bound, so the highest is the certificate,
  // and its d the next centre. The best d varies by circuit, from 3 to 6 on the corpus.
  int aheadDoublings = 3;
  int aheadMostDoublings = 7;
  double aheadRatio = 2.0;
  // After this many passes without a certificate, a pass whose own gap is at most exploreGap
  // is certified anyway: the stripped flow can lift the bound well above the pass's own (on
  // deep circuits from 18 % below the delay to within 1 %), and the lift found is then
  // expected of the passes that follow.
  int explorePasses = 10;
  double exploreGap = 0.3;
  // The inner loop of a pass sweeps at most this many times (alternating forwards and
  // backwards, as every inner loop of the method does); a certificate settles to its own
  // threshold.
  int passSweeps = 20;
  // A pass's inner loop also stops once the value changes by no more than this share of the
  // outer threshold from one sweep to the next, when the command line's inner threshold is
  // tighter: a pass is needed for its sizing (an upper bound however settled) and for the
  // direction of the next update, and its value certifies nothing. At the default thresholds
  // (5·10^-6 inner, 1 % outer) the million-gate circuits of the corpus took 537 lines and 140 s;
  // with this, 500 lines and 124 s. At an outer threshold of 0.001 the share is 2·10^-6,
  // below the default inner threshold: runs that tight settle their passes as before.
  double passShare = 2e-3;
  // The certificate's inner threshold, as a share of the outer threshold.
  double certifyShare = 1e-4;
  // The run stops without progress when for this many passes neither the best delay has
  // fallen nor the best lower bound of a pass risen by more than progressShare * OUTER of
  // itself, or progressFloor (0.01 %) when that is more.
  int stallPasses = 30;
  double progressShare = 0.1;
  double progressFloor = 1e-4;
};

// The robust method.
//
// Re-weighting: at each node the pins share the node's flow; a pin's share shrinks by about
// exp(-step * slack / driver delay) (a rational form of it, from the basic operations only, for
// the same bits everywhere), where the slack is how much less late the pin is than the node's
// latest pin, so the step is measured in stage delays and does not vanish on deep circuits.
// Each pin's weight also follows its multiplier's last change (see momentum).
// Lateness blends the driver's arrival with its mean arrival under the flow (see meanShare);
// the mean of a node is its delay plus its pins' means weighted by their multipliers, so the
// walk runs level by level. The sizes of the passes are averaged (see averageSizes): the
// average is what the multipliers' swinging sizings have in common, and is often faster
// than any one of them.
// The shares are then mixed with a small even split, and the new flow with the covering flow,
// which keeps every live multiplier above coverShare / (live connections): none reaches 0 or a
// subnormal value. Flow is conserved: the flow into "Output" is 1 and each node passes on what
// its receivers take. Connections with no path to "Output" carry no flow and stay at 0. Each
// node's step depends only on its drivers' arrivals (a forward walk) and each node's flow only
// on its receivers (a backward walk); every sum runs in a fixed order.
//
// The even share decays as 1/k: early passes keep every path alive while the flow is far off,
// and the lower bound is not held back once it has settled.
//
// Stop rule: a pass's lower bound is the Lagrangian value of sizes that the inner loop has not
// quite settled, and can lie above the true minimum of the Lagrangian. So the loop stops only on
// a certificate: when a pass looks close enough, the inner loop is run from that pass's sizes
// to a threshold far below the outer one, on a copy, for the stripped flow of the pass's
// multipliers (see strippedEvenTimes) and, unless that value is already at least the pass's
// own (a tight solve only lowers a value), for the multipliers themselves; the higher value is
// logged on a line of its own (with the pass's upper bound). A pass looks close enough when its own
// value, less what the last certificate fell short of its pass's value and plus what the stripped
// flow lifted it (shrunk as the pass's value rises, by the rate that the stripped value fell
// behind it between the last two certificates), meets the threshold, or when explorePasses have
// gone by without a certificate and it is within exploreGap. The run has converged when the best
// delay is within the outer threshold of the highest certified value so far, at a certificate
// or at any pass after it (a lower bound on the minimum delay holds for good): (best -
// certified) / certified <= OUTER. The result is always the fastest sizing seen, the minimum sizes
// included. A run that makes no progress stops: when for stallPasses passes neither the best delay
// nor the best lower bound of a pass has improved by a meaningful share, the last pass is certified
// and the run ends with a warning that states the gap it proved.
class RobustMethod : public Method {
 public:
  explicit RobustMethod(const Parameters& parameters);

  void Start(Optimizer& optimizer) override;
  void Update(Optimizer& optimizer, int pass) override;
  Next Judge(Optimizer& optimizer, int pass) override;
  bool ReportsLastPass(const Statistics&) const override { return false; }
  int PrintedPasses(const Statistics& stats) const override { return stats.loggedPasses; }
  // The warning of a run stopped without progress; none otherwise.
  std::string Conclude(Optimizer& optimizer) override;

  // Mixes the covering flow into the starting multipliers (a flow of 1 into "Output"); the two
  // scratch arrays (one entry per position) are overwritten.
  void Start(const TimingGraph& graph, Multipliers& multipliers, std::vector<double>& scratch,
             std::vector<double>& moreScratch);
  // One re-weighting from a timing analysis.
  void Update(const TimingGraph& graph, const NodeTiming* timing, Multipliers& multipliers);

  // The stripped flow of the multipliers that the last update left (see strippedEvenTimes),
  // pushed ahead `doublings` times (see aheadDoublings; needs momentum for the last changes):
  // a flow of 1 into "Output", conserved at every node, each live connection positive.
  void Strip(const TimingGraph& graph, const Multipliers& multipliers,
             std::vector<double>& stripped, int doublings = 0) const;

  int Depth() const { return depth_; }

  RobustParameters constants;

 private:
  // Certifies pass `pass`, just judged, and logs the value with `upper`.
  void Certify(Optimizer& optimizer, double upper, int pass);
  // Takes the current sizes into the average; returns the average's delay when it is worth
  // timing (see averageSizes), infinity otherwise.
  double Average(Optimizer& optimizer, int pass);

  // A node's flow from its receivers' entries of `flow`, its pins' covering flow, and the
  // flow through it less that covering flow (see the backward walks).
  double Through(const TimingGraph& graph, const double* flow, int p) const;
  double CoverSum(const TimingGraph& graph, int p) const;
  double Moving(double through, double coverSum) const;

  double certifyThreshold_;
  double evenShare_ = 0.0;  // the even share of the last update
  // How far the last certificate's stripped flow lifted the bound above its pass's own value.
  double uplift_ = 0.0;
  // The pass's own value and the stripped flow's at the last certificate, and how fast the
  // stripped value rose against the pass's own between the last two (clamped to [0, 1]): the
  // even share fades, so the pass's value climbs towards the stripped one, which rises more
  // slowly, if at all.
  double strippedPass_ = std::numeric_limits<double>::infinity();
  double strippedValue_ = 0.0;
  double strippedRate_ = 1.0;
  int lastCertified_ = 0;         // the pass of the last certificate
  std::vector<double> stripped_;  // by edge: a stripped flow of the last certificate
  // The sizes where the solve of the last certificate's highest stripped flow ended: its flow is
  // closer to the next certificate's than the pass's own, so the next starts from there
  // (dag-window-1e6-s1: 481 sweeps in all instead of 549).
  Sizing lastBest_;
  // The doublings of the highest stripped flow at the last certificate (see aheadDoublings).
  int doublings_ = RobustParameters().aheadDoublings;
  // How far the multipliers' own certified value last fell below their pass's value.
  double shortfall_ = 0.0;
  double certified_ = -std::numeric_limits<double>::infinity();
  int updates_ = 0;
  int idlePasses_ = 0;  // passes whose own sizing was not faster than every earlier pass's
  double ownBest_ = std::numeric_limits<double>::infinity();  // the fastest own sizing
  // The stall rule: the best bounds so far, those at the last progress, and its pass.
  double bestLower_ = -std::numeric_limits<double>::infinity();
  double progressDelay_ = std::numeric_limits<double>::infinity();
  double progressLower_ = -std::numeric_limits<double>::infinity();
  int progressPass_ = 0;
  int stalledAt_ = 0;  // the pass of the stop without progress, 0 when none

  int depth_ = 1;                       // gates on the longest path
  std::vector<double> cover_;           // by edge: the covering flow
  std::vector<double> mean_;            // by position: the mean arrival under the flow
  std::vector<double> previous_;        // by edge: the multipliers before the last update
  std::vector<double> average_;         // by position: the averaged sizes
  std::vector<double> nodeStep_;        // by position
  std::vector<std::int32_t> critical_;  // by position: the critical pin of the last update
};

}  // namespace tambril::sizing

#endif
