#ifndef TAMBRIL_TOOLS_LIBERTY_TIMER_H
#define TAMBRIL_TOOLS_LIBERTY_TIMER_H

#include <vector>

#include "cellLibrary.h"
#include "design.h"

// Static timing over the libraries' tables: arrival times and transitions (slews) for a
// rising and a falling edge on every net, loads from the pins' capacitances. Paths start at
// the input ports and the outputs of cut cells at time 0 with a slew of 0, and end at the
// output ports (no load) and the inputs of cut cells. A pin's slew is the largest over the
// arcs into it.
namespace tambril::liberty {

class Timer {
 public:
  explicit Timer(const Design& design);

  // Forward: loads, arrivals and slews; returns the largest arrival at an endpoint (seconds).
  double Analyse(const std::vector<int>& cells);
  // After Analyse: the same for cells that differ from the last ones timed only at the gates
  // `changed`; re-times only what the changes reach.
  double Update(const std::vector<int>& cells, const std::vector<int>& changed);
  // Backward, after Analyse: for every net and edge, the longest delay from it to an
  // endpoint (its tail), with the gate sink that gives it and the best tail through any other.
  void AnalyseTails(const std::vector<int>& cells);

  double Delay() const { return delay_; }
  // Index 2 * net + edge (0 rise, 1 fall).
  const std::vector<double>& Arrival() const { return arrival_; }
  const std::vector<double>& Slew() const { return slew_; }
  const std::vector<double>& Load() const { return load_; }
  const std::vector<double>& Tail() const { return tail_; }
  const std::vector<int>& TailSink() const { return tailSink_; }
  const std::vector<double>& SecondTail() const { return tail2_; }

  // The output arrival and slew (rise, fall) that gate `g` would have as `cell`, with its
  // inputs' arrivals and slews in `inArrival` / `inSlew` (2 per fan-in position) and its
  // output load `load` (rise, fall).
  // With `merged`, the arcs' merged tables stand in for their timing groups (estimates).
  void GateOutput(int g, int cell, const double* inArrival, const double* inSlew,
                  const double* load, double* outArrival, double* outSlew,
                  bool merged = false) const;

  // Input capacitance (rise, fall) of fan-in position k of gate `g` as `cell`.
  void PinCap(int g, int cell, int k, double* cap) const;

  // The longest delay from the rising (edge 0) or falling input edge of fan-in position k of
  // gate g, as `cell`, to the output edges, with the given input slew and output load; -inf
  // where the edges are not connected.
  void ArcDelays(int g, int cell, int k, int inEdge, double slew, const double* load,
                 double* delay) const;

 private:
  const Design& design_;
  std::vector<double> arrival_, slew_, load_, tail_, tail2_;
  std::vector<int> tailSink_;
  std::vector<int> endpoints_;
  std::vector<char> dirty_;
  double delay_ = 0;

  void Load(int net, const std::vector<int>& cells);
  // A net that a sequential cell drives: arrival and slew from its clock-to-output tables.
  // Returns whether they changed.
  bool Start(int net);
  void Output(int g, const std::vector<int>& cells, double* arrival, double* slew) const;
};

}  // namespace tambril::liberty

#endif
