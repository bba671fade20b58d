#include "timer.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <queue>

namespace tambril::liberty {

namespace {
constexpr double kNever = -std::numeric_limits<double>::infinity();
}

Timer::Timer(const Design& design) : design_(design) {
  const size_t n = 2 * static_cast<size_t>(design.NetCount());
  arrival_.assign(n, 0.0);
  slew_.assign(n, 0.0);
  load_.assign(n, 0.0);
  tail_.assign(n, kNever);
  tail2_.assign(n, kNever);
  tailSink_.assign(n, -1);
  for (int net = 0; net < design.NetCount(); ++net) {
    if (design.endpoint[net]) endpoints_.push_back(net);
  }
  dirty_.assign(design.gates.size(), 0);
}

void Timer::Load(int n, const std::vector<int>& cells) {
  double rise = design_.fixedLoad[2 * n], fall = design_.fixedLoad[2 * n + 1];
  for (int s = design_.sinkStart[n]; s < design_.sinkStart[n + 1]; ++s) {
    const auto [g, k] = design_.sinks[s];
    double cap[2];
    PinCap(g, cells[g], k, cap);
    rise += cap[0];
    fall += cap[1];
  }
  load_[2 * n] = rise;
  load_[2 * n + 1] = fall;
}

bool Timer::Start(int n) {
  const ArcTables* arc = design_.startArc[n];
  const double rise = arc->cellRise.Lookup(0, load_[2 * n]);
  const double fall = arc->cellFall.Lookup(0, load_[2 * n + 1]);
  const double riseSlew = arc->riseTransition.Lookup(0, load_[2 * n]);
  const double fallSlew = arc->fallTransition.Lookup(0, load_[2 * n + 1]);
  const bool changed = rise != arrival_[2 * n] || fall != arrival_[2 * n + 1] ||
                       riseSlew != slew_[2 * n] || fallSlew != slew_[2 * n + 1];
  arrival_[2 * n] = rise;
  arrival_[2 * n + 1] = fall;
  slew_[2 * n] = riseSlew;
  slew_[2 * n + 1] = fallSlew;
  return changed;
}

void Timer::Output(int g, const std::vector<int>& cells, double* arrival, double* slew) const {
  const Design::Gate& gate = design_.gates[g];
  double inArrival[32], inSlew[32];
  for (int k = 0; k < gate.inputs; ++k) {
    const int net = design_.fanins[gate.firstFanin + k];
    inArrival[2 * k] = arrival_[2 * net];
    inArrival[2 * k + 1] = arrival_[2 * net + 1];
    inSlew[2 * k] = slew_[2 * net];
    inSlew[2 * k + 1] = slew_[2 * net + 1];
  }
  GateOutput(g, cells[g], inArrival, inSlew, &load_[2 * gate.output], arrival, slew);
}

double Timer::Update(const std::vector<int>& cells, const std::vector<int>& changed) {
  std::priority_queue<int, std::vector<int>, std::greater<int>> queue;
  const auto mark = [&](int g) {
    if (g >= 0 && !dirty_[g]) {
      dirty_[g] = 1;
      queue.push(g);
    }
  };
  for (int g : changed) {
    const Design::Gate& gate = design_.gates[g];
    for (int k = 0; k < gate.inputs; ++k) {
      const int net = design_.fanins[gate.firstFanin + k];
      Load(net, cells);
      mark(design_.driver[net]);
      if (design_.startArc[net] != nullptr && Start(net)) {
        for (int s = design_.sinkStart[net]; s < design_.sinkStart[net + 1]; ++s) {
          mark(design_.sinks[s].first);
        }
      }
    }
    mark(g);
  }
  while (!queue.empty()) {
    const int g = queue.top();
    queue.pop();
    dirty_[g] = 0;
    const int out = design_.gates[g].output;
    double arrival[2], slew[2];
    Output(g, cells, arrival, slew);
    if (arrival[0] == arrival_[2 * out] && arrival[1] == arrival_[2 * out + 1] &&
        slew[0] == slew_[2 * out] && slew[1] == slew_[2 * out + 1]) {
      continue;
    }
    arrival_[2 * out] = arrival[0];
    arrival_[2 * out + 1] = arrival[1];
    slew_[2 * out] = slew[0];
    slew_[2 * out + 1] = slew[1];
    for (int s = design_.sinkStart[out]; s < design_.sinkStart[out + 1]; ++s) {
      mark(design_.sinks[s].first);
    }
  }
  delay_ = 0;
  for (int n : endpoints_)
    delay_ = std::max(delay_, std::max(arrival_[2 * n], arrival_[2 * n + 1]));
  return delay_;
}

void Timer::PinCap(int /*g*/, int cell, int k, double* cap) const {
  const double* caps = &design_.pinCaps[2 * static_cast<size_t>(design_.arcStart[cell] + k)];
  cap[0] = caps[0];
  cap[1] = caps[1];
}

void Timer::ArcDelays(int g, int cell, int k, int inEdge, double slew, const double* load,
                      double* delay) const {
  (void)g;
  const Arc& arc = *design_.arcs[design_.arcStart[cell] + k];
  delay[0] = delay[1] = kNever;
  for (const ArcTables& t : arc.variants) {
    const bool toRise = t.sense == Sense::kNon || (t.sense == Sense::kPositive) == (inEdge == 0);
    const bool toFall = t.sense == Sense::kNon || (t.sense == Sense::kPositive) == (inEdge == 1);
    if (toRise) delay[0] = std::max(delay[0], t.cellRise.Lookup(slew, load[0]));
    if (toFall) delay[1] = std::max(delay[1], t.cellFall.Lookup(slew, load[1]));
  }
}

void Timer::GateOutput(int g, int cell, const double* inArrival, const double* inSlew,
                       const double* load, double* outArrival, double* outSlew, bool merged) const {
  const int n = design_.gates[g].inputs;
  const Arc* const* arcs = &design_.arcs[design_.arcStart[cell]];
  outArrival[0] = outArrival[1] = kNever;
  outSlew[0] = outSlew[1] = 0.0;
  for (int k = 0; k < n; ++k) {
    const Arc& arc = *arcs[k];
    for (int e = 0; e < 2; ++e) {
      const double a = inArrival[2 * k + e];
      if (a == kNever) continue;
      const double s = inSlew[2 * k + e];
      for (const ArcTables& t : merged ? arc.merged : arc.variants) {
        const bool toRise = t.sense == Sense::kNon || (t.sense == Sense::kPositive) == (e == 0);
        const bool toFall = t.sense == Sense::kNon || (t.sense == Sense::kPositive) == (e == 1);
        if (toRise) {
          outArrival[0] = std::max(outArrival[0], a + t.cellRise.Lookup(s, load[0]));
          outSlew[0] = std::max(outSlew[0], t.riseTransition.Lookup(s, load[0]));
        }
        if (toFall) {
          outArrival[1] = std::max(outArrival[1], a + t.cellFall.Lookup(s, load[1]));
          outSlew[1] = std::max(outSlew[1], t.fallTransition.Lookup(s, load[1]));
        }
      }
    }
  }
}

double Timer::Analyse(const std::vector<int>& cells) {
  const int nets = design_.NetCount();
  for (int n = 0; n < nets; ++n) {
    Load(n, cells);
    const bool never = design_.constant[n] != 0;
    arrival_[2 * n] = arrival_[2 * n + 1] = never ? kNever : 0.0;
    slew_[2 * n] = slew_[2 * n + 1] = 0.0;
    if (design_.startArc[n] != nullptr) Start(n);
  }
  double inArrival[64], inSlew[64];
  for (size_t g = 0; g < design_.gates.size(); ++g) {
    const Design::Gate& gate = design_.gates[g];
    const int n = gate.inputs;
    for (int k = 0; k < n; ++k) {
      const int net = design_.fanins[gate.firstFanin + k];
      inArrival[2 * k] = arrival_[2 * net];
      inArrival[2 * k + 1] = arrival_[2 * net + 1];
      inSlew[2 * k] = slew_[2 * net];
      inSlew[2 * k + 1] = slew_[2 * net + 1];
    }
    const int out = gate.output;
    GateOutput(static_cast<int>(g), cells[g], inArrival, inSlew, &load_[2 * out],
               &arrival_[2 * out], &slew_[2 * out]);
  }
  delay_ = 0;
  for (int n = 0; n < nets; ++n) {
    if (design_.endpoint[n]) {
      delay_ = std::max(delay_, std::max(arrival_[2 * n], arrival_[2 * n + 1]));
    }
  }
  return delay_;
}

void Timer::AnalyseTails(const std::vector<int>& cells) {
  const int nets = design_.NetCount();
  for (int n = 0; n < nets; ++n) {
    const double end = design_.endpoint[n] ? 0.0 : kNever;
    tail_[2 * n] = tail_[2 * n + 1] = end;
    tail2_[2 * n] = tail2_[2 * n + 1] = end;
    tailSink_[2 * n] = tailSink_[2 * n + 1] = -1;
  }
  for (size_t i = design_.gates.size(); i-- > 0;) {
    const int g = static_cast<int>(i);
    const Design::Gate& gate = design_.gates[g];
    const int out = gate.output;
    const double* load = &load_[2 * out];
    const int n = gate.inputs;
    for (int k = 0; k < n; ++k) {
      const int net = design_.fanins[gate.firstFanin + k];
      for (int e = 0; e < 2; ++e) {
        double delay[2];
        ArcDelays(g, cells[g], k, e, slew_[2 * net + e], load, delay);
        const double t = std::max(delay[0] + tail_[2 * out], delay[1] + tail_[2 * out + 1]);
        const size_t at = 2 * static_cast<size_t>(net) + e;
        if (tailSink_[at] == g) {
          tail_[at] = std::max(tail_[at], t);
        } else if (t > tail_[at]) {
          tail2_[at] = tail_[at];
          tail_[at] = t;
          tailSink_[at] = g;
        } else if (t > tail2_[at]) {
          tail2_[at] = t;
        }
      }
    }
  }
}

}  // namespace tambril::liberty
