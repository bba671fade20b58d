#ifndef TAMBRIL_SIZING_OPTIMIZER_H
#define TAMBRIL_SIZING_OPTIMIZER_H

#include <limits>
#include <memory>
#include <vector>

#include "io/reporter.h"
#include "sizing/method.h"
#include "sizing/parameters.h"
#include "sizing/passLog.h"
#include "sizing/sizingState.h"
#include "timing/arrivalTimes.h"
#include "timing/timingGraph.h"
#include "util/threadChooser.h"

namespace tambril::sizing {

// The optimiser: sizes the gates of a circuit for minimum delay by Lagrangian relaxation. It
// owns all of its state (sizes, loads, timing, multipliers, the best sizing seen), its log, its
// statistics and its parameters, all laid out by position of the timing graph, which it reads
// and never changes.
//
// Run() is the whole optimisation. The steps it is made of are public, for the methods that
// drive it (method.h) and for running them one at a time:
//  - EvenMultipliers: the starting flow, split evenly over the pins of every node;
//  - StartingSizes: every gate at its minimum size, and the loads;
//  - LagrangianValue: every node's delay weighted by its multipliers, summed in node id order;
//  - Resize: the inner loop, sweeps of the closed-form resize until the value settles;
//  - Time: arrival times, and with them the upper bound, the circuit delay.
class Optimizer {
 public:
  // `graph` must outlive the optimiser. `outputCount` is the netlist header's count of primary
  // outputs, which shares the starting flow; when it is not positive, the outputs present do.
  Optimizer(const TimingGraph& graph, int outputCount);
  ~Optimizer();
  Optimizer(const Optimizer&) = delete;
  Optimizer& operator=(const Optimizer&) = delete;

  Parameters parameters;

  // The whole optimisation with the method that parameters.method names: writes the log, one
  // dot per logged pass and the closing lines through `reporter`, and a warning when the loop
  // ends at its cap. Afterwards the state is the result's: the last logged pass, or the fastest
  // sizing seen when the method reports that one (timed again). Throws std::invalid_argument
  // for a method that the table does not have.
  void Run(Reporter& reporter);

  void EvenMultipliers();
  void StartingSizes();
  // The Lagrangian value of `values` (the current state or a copy) for the current multipliers;
  // `values` is not changed.
  double LagrangianValue(Sizing& values);
  // The inner loop from the current sizes, at parameters.innerThreshold and within the sweeps
  // that LimitPassSweeps allows, or at `threshold` and within `sweeps` (the first included;
  // parameters.maxTrialSweeps caps either). Leaves the last accepted sweep and its value in
  // LowerBound().
  void Resize();
  void Resize(double threshold, int sweeps = std::numeric_limits<int>::max());
  void Time();

  // The weight of the total gate size in the Lagrangian (s/m^2), 0 unless the area is being
  // minimised under a delay target: the inner loop then minimises the weighted delays plus
  // this weight times the total size, and the Lagrangian value includes that term.
  void SetAreaWeight(double weight) { areaWeight_ = weight; }
  // Whether the sweeps of every inner loop alternate, forwards then backwards (the robust
  // method's; classic sweeps forwards only, always). A backward sweep carries a
  // change of load from the outputs to the inputs in one sweep, where forward sweeps take one
  // level per sweep: on deep circuits a certificate's solve takes about a third of the sweeps.
  void AlternateSweeps(bool alternate);
  // The most sweeps of a pass's inner loop (Resize()), for a method that needs its passes only
  // for their sizings, which are upper bounds however settled they are, and for the direction
  // of its next update: on deep circuits the first passes, whose multipliers move far, would
  // take up to 80 sweeps. Unlimited unless a method sets it; every Run starts unlimited.
  void LimitPassSweeps(int sweeps) { passSweeps_ = sweeps; }
  // For the same methods: a pass's inner loop stops at `threshold` when that is larger than
  // parameters.innerThreshold. Every Run starts without.
  void LoosenPassThreshold(double threshold) { passThreshold_ = threshold; }
  double AreaWeight() const { return areaWeight_; }
  // The total size of the gates in the current state (m^2), summed in node id order.
  double TotalArea() const;

  // For the methods' stop rules.
  // Appends LowerBound() and MaxDelay() to the log, writes a dot, and takes the state as the
  // best when it is faster than every one before.
  void LogPass();
  // Appends `lower` and `upper` to the log and writes a dot; the best state is left alone.
  void LogPass(double lower, double upper);
  // The current state is the best so far, whatever its delay (for the starting sizes).
  void TakeAsBest();
  // The Lagrangian value that the inner loop reaches from the current sizes at `threshold`,
  // less what further sweeps would still take off (estimated from the last four), so that the
  // value lies below the minimum of the Lagrangian rather than above it: on deep circuits the
  // sweeps stop up to 5·10^-4 of the value above that minimum, and creep towards it. The
  // current state is left as it was. Its sweeps over-relax (see kOverRelaxed): only the value
  // is kept, and it comes lower in fewer sweeps.
  // A solve whose value falls below `below` is given up there, and returns that value: its
  // sweeps only lower a value (over-relaxed ones all but always), so it would end lower still.
  // The solve starts from `start` (sizes and their loads), or from the current state when it
  // is null; LastSolve() starts it where the solve before ended (for multipliers close to that
  // solve's).
  double CertifiedLowerBound(double threshold,
                             double below = -std::numeric_limits<double>::infinity(),
                             const Sizing* start = nullptr);
  // The sizes and loads where the last CertifiedLowerBound ended, until the next inner loop.
  const Sizing& LastSolve() const { return trial_; }
  // The circuit delay of `sizes` (by position), timed on the side: the current state and its
  // timing are left as they were. `sizes` is borrowed (moved in and back, not copied) and
  // comes back unchanged.
  double TimeAside(std::vector<double>& sizes);
  // `sizes`, whose delay is `delay`, are the best state so far, taken at the last logged pass.
  void TakeAsBest(const std::vector<double>& sizes, double delay);
  // Makes `sizes` (by position) the current state, timed.
  void RestoreSizes(const std::vector<double>& sizes);

  const TimingGraph& Graph() const { return graph_; }
  int OutputCount() const { return outputCount_; }
  Multipliers& Lambdas() { return multipliers_; }
  const Multipliers& Lambdas() const { return multipliers_; }
  // The timing of the current state, after Time() and until the sizes change.
  const std::vector<NodeTiming>& Timing() const { return timing_; }
  Sizing& Current() { return current_; }
  const Sizing& Current() const { return current_; }
  Statistics& Stats() { return stats_; }
  const Statistics& Stats() const { return stats_; }
  double LowerBound() const { return lowerBound_; }
  void SetLowerBound(double value) { lowerBound_ = value; }
  // The circuit delay of the latest timing: the arrival at "Output".
  double MaxDelay() const { return maxDelay_; }
  double BestDelay() const { return bestDelay_; }
  // Two arrays with one entry per position that a method may use as scratch while it starts,
  // before any sizing (0 or 1); their content is undefined, and overwritten afterwards.
  std::vector<double>& Scratch(int which) { return which == 0 ? trial_.size : trial_.loadCap; }

 private:
  // The weight of every node, from the multipliers, into nodeWeight_: at the start of an
  // inner loop or a value, which read it.
  void WeighNodes();
  // Each gate takes the size that minimises the value given its neighbours' sizes; with
  // kOverRelaxed it goes 15/8 of the way there in logarithms (then the bounds). A gate sees its
  // receivers' sizes of the sweep before, so news travels backwards one level per sweep, and
  // on deep circuits plain sweeps bring the value down by ever smaller steps.
  template <bool kOverRelaxed, bool kKeepUpstream>
  void ResizeSweep(const Sizing& from, Sizing& to);
  void ResizeSweepBackward(const Sizing& from, Sizing& to);
  void UpdatePinLoads(const Sizing& values);
  double NodeLoad(int position, double size, double outputCap) const;
  template <bool kWithLoads>
  void WeighDelays(Sizing& values);
  void LoadSweep(Sizing& values);
  double DelaysAndValue(Sizing& values, bool withLoads);
  // The weighted delays in `relay_`, summed in node id order on one thread.
  double SumOfWeightedDelays() const;
  // `parts` (by position) summed in blocks of positions (see kSumBlock).
  double SumInBlocks(const double* parts);
  void Finish(Method& method);
  // One sweep of the inner loop from `from` into `to` (which may be the same), with the
  // Lagrangian value and, unless it is the forward sweep of alternating ones (see
  // sweptLoads_), the loads; the thread count chosen for it when the optimiser chooses.
  double Sweep(const Sizing& from, Sizing& to, bool overRelaxed = false);

  const TimingGraph& graph_;
  int outputCount_;
  Statistics stats_;
  PassLog log_;
  Reporter* reporter_ = nullptr;
  std::unique_ptr<ThreadChooser> threads_;  // during Run, when parameters.chooseThreads

  Sizing current_;
  Sizing trial_;
  std::vector<NodeTiming> timing_;       // by position
  std::vector<NodeTiming> asideTiming_;  // by position, for TimeAside; allocated on first use
  Multipliers multipliers_;
  double lowerBound_ = 0.0;
  double maxDelay_ = 0.0;
  std::vector<double> bestSize_;  // by position: the sizes of the best state so far
  double bestDelay_ = 0.0;        // its delay
  bool bestIsCurrent_ = false;    // whether they were the current state when taken
  double areaWeight_ = 0.0;
  bool alternateSweeps_ = false;
  int sweepsInLoop_ = 0;  // sweeps of the inner loop that runs
  int passSweeps_ = std::numeric_limits<int>::max();
  double passThreshold_ = 0.0;
  // Scratch, by position: the capacitance of a node's input pin for its size; the weight of a
  // node's delay (NodeWeight) for the multipliers of the inner loop that runs; what a sweep
  // hands on (a driver's weighted resistance, then a node's weighted delay).
  std::vector<double> pinLoad_;
  std::vector<double> nodeWeight_;
  std::vector<double> relay_;
  std::vector<double> upstream_;  // by position, when sweeps alternate: see ResizeSweep
  // By position, when sweeps alternate: each node's part of the value of a forward sweep.
  std::vector<double> terms_;
  bool sweptLoads_ = true;  // whether the last sweep left the loads of its sizes
  // When sweeps alternate, a sweep's value is summed by blocks of this many positions; each
  // block's sum is kept in blockSums_.
  static constexpr int kSumBlock = 4096;
  std::vector<double> blockSums_;
};

}  // namespace tambril::sizing

#endif
