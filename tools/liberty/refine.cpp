#include "refine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "timer.h"

namespace tambril::liberty {

namespace {

constexpr double kNever = -std::numeric_limits<double>::infinity();

// The longest path through the neighbourhood of a gate if it were another cell, from the
// current timing: the drivers of its inputs see the new pin capacitances, the gate its new
// tables, its sinks its new output slew; the rest of each path is the current tail.
class Estimator {
 public:
  Estimator(const Design& design, const Timer& timer, const std::vector<int>& cells)
      : design_(design), timer_(timer), cells_(cells) {}

  double Estimate(int g, int cell) const {
    const Design::Gate& gate = design_.gates[g];
    const int n = Inputs(g);
    const std::vector<double>& arrival = timer_.Arrival();
    const std::vector<double>& slew = timer_.Slew();
    const std::vector<double>& load = timer_.Load();
    const std::vector<double>& tail = timer_.Tail();
    double inArrival[2 * kMaxInputs], inSlew[2 * kMaxInputs];
    double delta[2 * kMaxInputs];
    for (int k = 0; k < n; ++k) {
      double now[2], was[2];
      timer_.PinCap(g, cell, k, now);
      timer_.PinCap(g, cells_[g], k, was);
      delta[2 * k] = now[0] - was[0];
      delta[2 * k + 1] = now[1] - was[1];
    }
    double estimate = kNever;
    for (int k = 0; k < n; ++k) {
      const int net = design_.fanins[gate.firstFanin + k];
      double change[2] = {0, 0};
      for (int j = 0; j < n; ++j) {
        if (design_.fanins[gate.firstFanin + j] == net) {
          change[0] += delta[2 * j];
          change[1] += delta[2 * j + 1];
        }
      }
      const int driver = design_.driver[net];
      double* a = &inArrival[2 * k];
      double* s = &inSlew[2 * k];
      if (driver >= 0 && (change[0] != 0 || change[1] != 0)) {
        const double newLoad[2] = {load[2 * net] + change[0], load[2 * net + 1] + change[1]};
        const double unused[2] = {0, 0};
        Output(driver, cells_[driver], -1, unused, unused, newLoad, a, s);
      } else {
        a[0] = arrival[2 * net];
        a[1] = arrival[2 * net + 1];
        s[0] = slew[2 * net];
        s[1] = slew[2 * net + 1];
      }
      for (int e = 0; e < 2; ++e) {
        const size_t at = 2 * static_cast<size_t>(net) + e;
        const double t = timer_.TailSink()[at] == g ? timer_.SecondTail()[at] : tail[at];
        if (a[e] != kNever && t != kNever) estimate = std::max(estimate, a[e] + t);
      }
    }
    const int out = gate.output;
    double gArrival[2], gSlew[2];
    timer_.GateOutput(g, cell, inArrival, inSlew, &load[2 * out], gArrival, gSlew, true);
    if (design_.endpoint[out]) estimate = std::max({estimate, gArrival[0], gArrival[1]});
    for (int s = design_.sinkStart[out]; s < design_.sinkStart[out + 1]; ++s) {
      const int h = design_.sinks[s].first;
      const int hOut = design_.gates[h].output;
      double hArrival[2], hSlew[2];
      Output(h, cells_[h], out, gArrival, gSlew, &load[2 * hOut], hArrival, hSlew);
      for (int e = 0; e < 2; ++e) {
        if (hArrival[e] != kNever && tail[2 * hOut + e] != kNever) {
          estimate = std::max(estimate, hArrival[e] + tail[2 * hOut + e]);
        }
      }
    }
    return estimate;
  }

  int Inputs(int g) const { return design_.gates[g].inputs; }

 private:
  static constexpr int kMaxInputs = 16;

  // Gate h's output with the current arrivals and slews at its inputs, except that net
  // `replaced` has `arrival` / `slew`.
  void Output(int h, int cell, int replaced, const double* arrival, const double* slew,
              const double* load, double* outArrival, double* outSlew) const {
    const Design::Gate& gate = design_.gates[h];
    const int n = Inputs(h);
    double inArrival[2 * kMaxInputs], inSlew[2 * kMaxInputs];
    for (int k = 0; k < n; ++k) {
      const int net = design_.fanins[gate.firstFanin + k];
      for (int e = 0; e < 2; ++e) {
        inArrival[2 * k + e] = net == replaced ? arrival[e] : timer_.Arrival()[2 * net + e];
        inSlew[2 * k + e] = net == replaced ? slew[e] : timer_.Slew()[2 * net + e];
      }
    }
    timer_.GateOutput(h, cell, inArrival, inSlew, load, outArrival, outSlew, true);
  }

  const Design& design_;
  const Timer& timer_;
  const std::vector<int>& cells_;
};

struct Candidate {
  double gain;
  int gate;
  int cell;
};

double TotalArea(const std::vector<int>& cells, const CellLibrary& library) {
  double area = 0;
  for (int c : cells) area += library.cells[c].area;
  return area;
}

// Picks candidates, best first, at most `limit` of them, that do not interact beyond sharing
// an input net: no candidate's input, output or sinks' output nets are another's output or
// sinks' output nets, nor its output nets another's inputs.
std::vector<Candidate> Independent(const Design& design, std::vector<Candidate>& candidates,
                                   size_t limit, std::vector<int>& read, std::vector<int>& owned,
                                   int& clock) {
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    return a.gain > b.gain || (a.gain == b.gain && a.gate < b.gate);
  });
  ++clock;
  std::vector<Candidate> chosen;
  std::vector<int> outputs;
  for (const Candidate& c : candidates) {
    if (chosen.size() >= limit) break;
    const Design::Gate& gate = design.gates[c.gate];
    const int* inputs = &design.fanins[gate.firstFanin];
    outputs.clear();
    outputs.push_back(gate.output);
    for (int s = design.sinkStart[gate.output]; s < design.sinkStart[gate.output + 1]; ++s) {
      outputs.push_back(design.gates[design.sinks[s].first].output);
    }
    bool free = true;
    for (int k = 0; k < gate.inputs; ++k) free = free && owned[inputs[k]] != clock;
    for (int net : outputs) free = free && owned[net] != clock && read[net] != clock;
    if (!free) continue;
    for (int k = 0; k < gate.inputs; ++k) read[inputs[k]] = clock;
    for (int net : outputs) owned[net] = clock;
    chosen.push_back(c);
  }
  return chosen;
}

// Gives the batch's gates their cells, or when `fits` refuses the delay that results, the
// better half of the batch, its quarter, ... (`chosen` is cut to what stays; empty: nothing).
// Returns the delay with what stays; `refusedAlone` is told of a candidate refused on its own.
template <class Fits, class Refused>
double ApplyHalving(Timer& timer, std::vector<int>& cells, std::vector<Candidate>& chosen,
                    double delay, Fits fits, Refused refusedAlone) {
  double now = delay;
  std::vector<int> changed, old;
  while (!chosen.empty()) {
    old.clear();
    changed.clear();
    for (const Candidate& c : chosen) {
      old.push_back(cells[c.gate]);
      cells[c.gate] = c.cell;
      changed.push_back(c.gate);
    }
    now = timer.Update(cells, changed);
    if (fits(now)) break;
    for (size_t k = 0; k < chosen.size(); ++k) cells[chosen[k].gate] = old[k];
    timer.Update(cells, changed);
    if (chosen.size() == 1) refusedAlone(chosen[0].gate);
    chosen.resize(chosen.size() / 2);
  }
  return now;
}

}  // namespace

int CellForSize(const Family& family, const CellLibrary& library, double size, double slew) {
  int best = family.cells[0];
  double bestScore = std::numeric_limits<double>::infinity();
  for (int c : family.cells) {
    const Cell& cell = library.cells[c];
    // The drive and the input capacitance that the model gives a gate of this size, against
    // the cell's own.
    double resistance, intrinsic;
    CellDrive(cell, slew, resistance, intrinsic);
    const double drive =
        std::fabs(std::log(std::max(resistance, 1e-3) * size / family.unitResistance));
    const double cap = std::fabs(std::log(MeanInputCap(cell) / (family.unitInputCap * size)));
    const double score = drive + cap;
    if (score < bestScore) {
      bestScore = score;
      best = c;
    }
  }
  return best;
}

RefineResult Refine(const Design& design, const CellLibrary& library, std::vector<int>& cells,
                    const RefineOptions& options) {
  RefineResult result;
  Timer timer(design);
  double delay = timer.Analyse(cells);
  timer.AnalyseTails(cells);
  result.initialDelay = delay;
  result.initialArea = TotalArea(cells, library);
  const int gates = static_cast<int>(design.gates.size());
  std::vector<int> read(design.NetCount(), 0), owned(design.NetCount(), 0);
  int clock = 0;
  std::vector<int> best = cells;
  double bestDelay = delay;

  // Rounds of: faster, then smaller at that speed.
  const bool thorough = gates <= options.thoroughGates;
  for (int round = 0; round < (thorough ? options.rounds : 1); ++round) {
    // Faster: swaps that shorten the longest path through a gate near the critical delay.
    const size_t limit = static_cast<size_t>(gates) + 1;
    int idle = 0;
    std::vector<char> tabu(gates, 0);  // a swap that made the circuit slower on its own
    std::vector<std::pair<double, int>> window;
    double windowFraction = options.window;
    // Passes cost a timing of the circuit each: at most about gateBudget gates timed in all.
    const int passes = std::min(
        options.maxPasses,
        std::max(options.minPasses, static_cast<int>(options.gateBudget / std::max(gates, 1))));
    for (int pass = 0; pass < passes; ++pass) {
      if (options.delayTarget > 0 && delay <= options.delayTarget) break;
      ++result.passes;
      Estimator estimator(design, timer, cells);
      std::vector<Candidate> candidates;
      const double threshold = delay * (1 - windowFraction);
      // The gates near the critical delay, at most the most critical `windowGates` of them.
      window.clear();
      // A gate counts when a path near the critical one runs through it or through a net that
      // it loads (a smaller cell off the path can speed the path up).
      const auto through = [&](int net) {
        return std::max(timer.Arrival()[2 * net] + timer.Tail()[2 * net],
                        timer.Arrival()[2 * net + 1] + timer.Tail()[2 * net + 1]);
      };
      for (int g = 0; g < gates; ++g) {
        const Design::Gate& gate = design.gates[g];
        double worst = through(gate.output);
        for (int k = 0; k < gate.inputs; ++k) {
          worst = std::max(worst, through(design.fanins[gate.firstFanin + k]));
        }
        if (worst >= threshold && !tabu[g]) window.emplace_back(-worst, g);
      }
      const size_t most = std::max<size_t>(options.windowGates, gates / 50);
      if (window.size() > most) {
        std::nth_element(window.begin(), window.begin() + most, window.end());
        window.resize(most);
        std::sort(window.begin(), window.end(),
                  [](const auto& a, const auto& b) { return a.second < b.second; });
      }
      for (const auto& [negativeThrough, g] : window) {
        // The swap that shortens the path most; towards a delay target, the most per area
        // added (a swap that also saves area first).
        const double now = estimator.Estimate(g, cells[g]);
        const double area = library.cells[cells[g]].area;
        double bestGain = 0;
        int bestCell = -1;
        for (int c : design.memberOf[design.gates[g].family]) {
          if (c == cells[g]) continue;
          const double shorter = now - estimator.Estimate(g, c);
          if (!(shorter > 1e-16)) continue;
          const double added = library.cells[c].area - area;
          const double gain = !options.perArea ? shorter
                              : added <= 0     ? shorter * 1e12
                                               : shorter / added;
          if (gain > bestGain) {
            bestGain = gain;
            bestCell = c;
          }
        }
        if (bestCell >= 0) candidates.push_back({bestGain, g, bestCell});
      }
      if (candidates.empty()) {
        // Nothing near the critical paths pays on its own: look further from them.
        if (windowFraction >= options.maxWindow) break;
        windowFraction = std::min(options.maxWindow, 4 * windowFraction);
        std::fill(tabu.begin(), tabu.end(), 0);
        continue;
      }
      std::vector<Candidate> chosen = Independent(design, candidates, limit, read, owned, clock);
      // The batch, or when it makes the circuit slower, its better half, quarter, ...
      const double now = ApplyHalving(
          timer, cells, chosen, delay, [&](double after) { return after <= delay; },
          [&](int gate) { tabu[gate] = 1; });
      if (chosen.empty()) continue;
      result.changes += static_cast<int>(chosen.size());
      idle = now < delay * (1 - 1e-9) ? 0 : idle + 1;
      delay = now;
      if (delay < bestDelay) {
        bestDelay = delay;
        best = cells;
      }
      timer.AnalyseTails(cells);
      if (idle >= options.idlePasses) break;
    }
    cells = best;
    delay = timer.Analyse(cells);
    timer.AnalyseTails(cells);

    // Smaller: the smallest cell of each gate whose longest path stays within the goal.
    const double goal = options.delayTarget > 0 ? std::max(options.delayTarget, delay) : delay;
    for (int pass = 0; pass < (thorough ? std::max(3, passes / 4) : 2); ++pass) {
      Estimator estimator(design, timer, cells);
      std::vector<Candidate> candidates;
      const double ceiling = goal * (1 - 1e-6);
      for (int g = 0; g < gates; ++g) {
        const double area = library.cells[cells[g]].area;
        if (area == library.cells[design.memberOf[design.gates[g].family][0]].area) continue;
        for (int c : design.memberOf[design.gates[g].family]) {
          if (library.cells[c].area >= area) continue;  // by ascending area: the first that fits
          if (estimator.Estimate(g, c) <= ceiling) {
            candidates.push_back({area - library.cells[c].area, g, c});
            break;
          }
        }
      }
      if (candidates.empty()) break;
      std::vector<Candidate> chosen = Independent(design, candidates, limit, read, owned, clock);
      const double now = ApplyHalving(
          timer, cells, chosen, delay, [&](double after) { return after <= goal; }, [](int) {});
      if (chosen.empty()) break;
      result.changes += static_cast<int>(chosen.size());
      delay = now;
      timer.AnalyseTails(cells);
    }
  }
  result.finalDelay = timer.Analyse(cells);
  result.finalArea = TotalArea(cells, library);
  return result;
}

int Downsize(const Design& design, const CellLibrary& library, std::vector<int>& cells, double goal,
             int sweeps) {
  // Estimates above the goal by more than this are not tried.
  constexpr double kMargin = 1e-3;
  Timer timer(design);
  if (timer.Analyse(cells) > goal) return 0;
  const int gates = static_cast<int>(design.gates.size());
  std::vector<std::pair<double, int>> order;
  std::vector<int> one(1);
  int kept = 0;
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    timer.AnalyseTails(cells);
    // The longest path through each gate's output: the shortest has the most slack.
    order.clear();
    for (int g = 0; g < gates; ++g) {
      const std::vector<int>& members = design.memberOf[design.gates[g].family];
      if (library.cells[cells[g]].area <= library.cells[members[0]].area) continue;
      const int out = design.gates[g].output;
      order.emplace_back(std::max(timer.Arrival()[2 * out] + timer.Tail()[2 * out],
                                  timer.Arrival()[2 * out + 1] + timer.Tail()[2 * out + 1]),
                         g);
    }
    std::sort(order.begin(), order.end());
    const Estimator estimator(design, timer, cells);
    int changed = 0;
    for (const auto& [through, g] : order) {
      const int current = cells[g];
      const double area = library.cells[current].area;
      const std::vector<int>& members = design.memberOf[design.gates[g].family];
      // The members of the next smaller area (members are sorted by area).
      size_t end = 0;
      while (end < members.size() && library.cells[members[end]].area < area) ++end;
      for (size_t k = end; k-- > 0;) {
        if (library.cells[members[k]].area != library.cells[members[end - 1]].area) break;
        // The estimate from the tails of the sweep's start sorts out most steps that fail.
        if (estimator.Estimate(g, members[k]) > goal * (1 + kMargin)) continue;
        cells[g] = members[k];
        one[0] = g;
        if (timer.Update(cells, one) <= goal) break;
        cells[g] = current;
        timer.Update(cells, one);
      }
      if (cells[g] != current) ++changed;
    }
    kept += changed;
    if (changed == 0) break;
  }
  return kept;
}

}  // namespace tambril::liberty
