#include "lagrangian.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "timer.h"

namespace tambril::liberty {

namespace {

constexpr double kNever = -std::numeric_limits<double>::infinity();
// Multipliers grow with the criticality of their arcs to this power at every re-weighting:
// measured on seven benchmark circuits at a sizer's delay, 4 met it within 40 iterations where
// 2 often did not.
constexpr double kExponent = 4.0;

bool ToRise(const ArcTables& t, int edge) {
  return t.sense == Sense::kNon || (t.sense == Sense::kPositive) == (edge == 0);
}
bool ToFall(const ArcTables& t, int edge) {
  return t.sense == Sense::kNon || (t.sense == Sense::kPositive) == (edge == 1);
}

double TotalArea(const std::vector<int>& cells, const CellLibrary& library) {
  double area = 0;
  for (int c : cells) area += library.cells[c].area;
  return area;
}

// The multipliers: four per fan-in position of a gate (input edge x output edge, rise first),
// two per endpoint net; they conserve flow, what enters a net's edge leaves it.
class Relaxation {
 public:
  static constexpr int kMaxInputs = 16;

  Relaxation(const Design& design, const CellLibrary& library, std::vector<int>& cells,
             double target)
      : design_(design),
        library_(library),
        cells_(cells),
        target_(target),
        lambda_(4 * design.fanins.size(), 0.0),
        endLambda_(2 * static_cast<size_t>(design.NetCount()), 0.0) {
    // Area in units of the mean cell's, delays in units of the target.
    unit_ = TotalArea(cells, library) / std::max<size_t>(1, cells.size());
  }

  // Every connected arc and every endpoint weighs the same.
  void Start(const Timer& timer) {
    for (size_t g = 0; g < design_.gates.size(); ++g) {
      const Design::Gate& gate = design_.gates[g];
      const double* load = &timer.Load()[2 * gate.output];
      for (int k = 0; k < gate.inputs; ++k) {
        for (int e = 0; e < 2; ++e) {
          double delay[2];
          timer.ArcDelays(static_cast<int>(g), cells_[g], k, e, 0.0, load, delay);
          for (int f = 0; f < 2; ++f) {
            lambda_[4 * static_cast<size_t>(gate.firstFanin + k) + 2 * e + f] =
                delay[f] == kNever ? 0.0 : 1.0;
          }
        }
      }
    }
    for (int n = 0; n < design_.NetCount(); ++n) {
      if (design_.endpoint[n]) endLambda_[2 * n] = endLambda_[2 * n + 1] = 1.0;
    }
  }

  // Each multiplier scaled by its arc's criticality (the longest path through it against the
  // target) to the power `exponent`, then flow conserved from the endpoints back.
  void Reweight(const Timer& timer, double exponent) {
    const std::vector<double>& arrival = timer.Arrival();
    const std::vector<double>& tail = timer.Tail();
    const auto scale = [&](double path) {
      return path <= 0 ? 0.0 : std::pow(path / target_, exponent);
    };
    for (int n = 0; n < design_.NetCount(); ++n) {
      if (!design_.endpoint[n]) continue;
      for (int e = 0; e < 2; ++e) {
        const double a = arrival[2 * n + e];
        endLambda_[2 * n + e] *= a == kNever ? 0.0 : std::max(scale(a), 1e-12);
      }
    }
    for (size_t g = 0; g < design_.gates.size(); ++g) {
      const Design::Gate& gate = design_.gates[g];
      const int out = gate.output;
      for (int k = 0; k < gate.inputs; ++k) {
        const int net = design_.fanins[gate.firstFanin + k];
        double* lambda = &lambda_[4 * static_cast<size_t>(gate.firstFanin + k)];
        for (int e = 0; e < 2; ++e) {
          const double a = arrival[2 * net + e];
          double delay[2];
          timer.ArcDelays(static_cast<int>(g), cells_[g], k, e, timer.Slew()[2 * net + e],
                          &timer.Load()[2 * out], delay);
          for (int f = 0; f < 2; ++f) {
            const double t = tail[2 * out + f];
            const bool dead = a == kNever || delay[f] == kNever || t == kNever;
            lambda[2 * e + f] *= dead ? 0.0 : std::max(scale(a + delay[f] + t), 1e-12);
          }
        }
      }
    }
    // Flow: from the last gate back, what leaves a gate's output edge enters it, shared among
    // its arcs into that edge as they stand.
    for (size_t i = design_.gates.size(); i-- > 0;) {
      const Design::Gate& gate = design_.gates[i];
      const int out = gate.output;
      for (int f = 0; f < 2; ++f) {
        double leaving = endLambda_[2 * out + f];
        for (int s = design_.sinkStart[out]; s < design_.sinkStart[out + 1]; ++s) {
          const auto [h, p] = design_.sinks[s];
          const double* lambda = &lambda_[4 * static_cast<size_t>(design_.gates[h].firstFanin + p)];
          leaving += lambda[2 * f] + lambda[2 * f + 1];
        }
        double entering = 0;
        for (int k = 0; k < gate.inputs; ++k) {
          const double* lambda = &lambda_[4 * static_cast<size_t>(gate.firstFanin + k)];
          entering += lambda[f] + lambda[2 + f];
        }
        if (!(entering > 0)) continue;
        const double ratio = leaving / entering;
        for (int k = 0; k < gate.inputs; ++k) {
          double* lambda = &lambda_[4 * static_cast<size_t>(gate.firstFanin + k)];
          lambda[f] *= ratio;
          lambda[2 + f] *= ratio;
        }
      }
    }
  }

  // Each gate in topological order takes the cell that minimises its area plus the weighted
  // delays of its own arcs, of its drivers' arcs (their load) and of its sinks' arcs from it
  // (its output slew). Returns how many gates changed.
  int Sweep(const Timer& timer) {
    load_ = timer.Load();
    slew_ = timer.Slew();
    int changed = 0;
    for (size_t i = 0; i < design_.gates.size(); ++i) {
      const int g = static_cast<int>(i);
      const Design::Gate& gate = design_.gates[g];
      const std::vector<int>& members = design_.memberOf[gate.family];
      if (members.size() < 2) continue;
      const int current = cells_[g];
      const int out = gate.output;
      int best = current;
      double bestCost = std::numeric_limits<double>::infinity();
      double bestSlew[2] = {slew_[2 * out], slew_[2 * out + 1]};
      for (int c : members) {
        // The drivers first: their new loads, their weighted delays and the slews they then
        // give this gate's inputs.
        double weighted = 0;
        double inSlew[2 * kMaxInputs];
        for (int k = 0; k < gate.inputs; ++k) {
          const int net = design_.fanins[gate.firstFanin + k];
          const int driver = design_.driver[net];
          int first = 0;
          while (design_.fanins[gate.firstFanin + first] != net) ++first;
          if (first < k) {
            inSlew[2 * k] = inSlew[2 * first];
            inSlew[2 * k + 1] = inSlew[2 * first + 1];
            continue;
          }
          inSlew[2 * k] = slew_[2 * net];
          inSlew[2 * k + 1] = slew_[2 * net + 1];
          if (driver < 0) continue;
          double load[2] = {load_[2 * net], load_[2 * net + 1]};
          for (int j = k; j < gate.inputs; ++j) {
            if (design_.fanins[gate.firstFanin + j] != net) continue;
            double now[2], was[2];
            timer.PinCap(g, c, j, now);
            timer.PinCap(g, current, j, was);
            load[0] += now[0] - was[0];
            load[1] += now[1] - was[1];
          }
          weighted += Weighted(driver, cells_[driver], load, nullptr, &inSlew[2 * k]);
        }
        double outSlew[2];
        weighted += Weighted(g, c, &load_[2 * out], inSlew, outSlew);
        weighted += Sinks(g, outSlew);
        const double cost = library_.cells[c].area / unit_ + weighted / target_;
        if (cost < bestCost || (cost == bestCost && c == current)) {
          bestCost = cost;
          best = c;
          bestSlew[0] = outSlew[0];
          bestSlew[1] = outSlew[1];
        }
      }
      if (best == current) continue;
      ++changed;
      for (int k = 0; k < gate.inputs; ++k) {
        const int net = design_.fanins[gate.firstFanin + k];
        double now[2], was[2];
        timer.PinCap(g, best, k, now);
        timer.PinCap(g, current, k, was);
        load_[2 * net] += now[0] - was[0];
        load_[2 * net + 1] += now[1] - was[1];
      }
      slew_[2 * out] = bestSlew[0];
      slew_[2 * out + 1] = bestSlew[1];
      cells_[g] = best;
    }
    return changed;
  }

 private:
  // The multiplier-weighted delays of gate g's arcs as `cell` into `load`, with its output
  // slews (the largest of its arcs'); the input slews are `inSlew` (2 per fan-in position),
  // or with nullptr those of the nets.
  double Weighted(int g, int cell, const double* load, const double* inSlew,
                  double* outSlew) const {
    const Design::Gate& gate = design_.gates[g];
    const Arc* const* arcs = &design_.arcs[design_.arcStart[cell]];
    double sum = 0;
    outSlew[0] = outSlew[1] = 0;
    for (int k = 0; k < gate.inputs; ++k) {
      const int net = design_.fanins[gate.firstFanin + k];
      if (design_.constant[net]) continue;
      const double* lambda = &lambda_[4 * static_cast<size_t>(gate.firstFanin + k)];
      for (int e = 0; e < 2; ++e) {
        const double s = inSlew != nullptr ? inSlew[2 * k + e] : slew_[2 * net + e];
        double delay[2] = {kNever, kNever};
        for (const ArcTables& t : arcs[k]->merged) {
          if (ToRise(t, e)) {
            delay[0] = std::max(delay[0], t.cellRise.Lookup(s, load[0]));
            outSlew[0] = std::max(outSlew[0], t.riseTransition.Lookup(s, load[0]));
          }
          if (ToFall(t, e)) {
            delay[1] = std::max(delay[1], t.cellFall.Lookup(s, load[1]));
            outSlew[1] = std::max(outSlew[1], t.fallTransition.Lookup(s, load[1]));
          }
        }
        if (delay[0] != kNever) sum += lambda[2 * e] * delay[0];
        if (delay[1] != kNever) sum += lambda[2 * e + 1] * delay[1];
      }
    }
    return sum;
  }

  // The weighted delays of the arcs from gate g's output in its sinks, with output slews
  // `outSlew`.
  double Sinks(int g, const double* outSlew) const {
    const int out = design_.gates[g].output;
    double sum = 0;
    for (int s = design_.sinkStart[out]; s < design_.sinkStart[out + 1]; ++s) {
      const auto [h, p] = design_.sinks[s];
      const Design::Gate& sink = design_.gates[h];
      const Arc& arc = *design_.arcs[design_.arcStart[cells_[h]] + p];
      const double* lambda = &lambda_[4 * static_cast<size_t>(sink.firstFanin + p)];
      const double* load = &load_[2 * sink.output];
      for (int e = 0; e < 2; ++e) {
        double delay[2] = {kNever, kNever};
        for (const ArcTables& t : arc.merged) {
          if (ToRise(t, e)) delay[0] = std::max(delay[0], t.cellRise.Lookup(outSlew[e], load[0]));
          if (ToFall(t, e)) delay[1] = std::max(delay[1], t.cellFall.Lookup(outSlew[e], load[1]));
        }
        if (delay[0] != kNever) sum += lambda[2 * e] * delay[0];
        if (delay[1] != kNever) sum += lambda[2 * e + 1] * delay[1];
      }
    }
    return sum;
  }

  const Design& design_;
  const CellLibrary& library_;
  std::vector<int>& cells_;
  const double target_;
  double unit_ = 1;
  std::vector<double> lambda_, endLambda_;
  std::vector<double> load_, slew_;
};

}  // namespace

LagrangianResult LagrangianSizing(const Design& design, const CellLibrary& library,
                                  std::vector<int>& cells, double target, int iterations) {
  LagrangianResult result;
  Timer timer(design);
  Relaxation relaxation(design, library, cells, target);
  std::vector<int> best = cells;
  double bestArea = std::numeric_limits<double>::infinity();
  double bestDelay = std::numeric_limits<double>::infinity();
  for (int it = 0; it <= iterations; ++it) {
    const double delay = timer.Analyse(cells);
    const double area = TotalArea(cells, library);
    if (delay <= target ? !result.met || area < bestArea : !result.met && delay < bestDelay) {
      result.met = delay <= target;
      best = cells;
      bestArea = area;
      bestDelay = delay;
    }
    if (it == iterations) break;
    timer.AnalyseTails(cells);
    if (it == 0) relaxation.Start(timer);
    relaxation.Reweight(timer, kExponent);
    relaxation.Sweep(timer);
    ++result.iterations;
  }
  cells = best;
  result.delay = bestDelay;
  result.area = bestArea;
  return result;
}

}  // namespace tambril::liberty
