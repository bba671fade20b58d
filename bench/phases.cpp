// tambril_phases NETLIST RESULT [inner] [outer] [--profile]
//
// Runs the stages of tambril in the same order and with the same arguments, and prints to
// standard error where the time went: reading the library, reading and ordering the netlist,
// and optimising, with the optimiser's counters. With --profile the optimiser's loop is driven
// step by step from here, so that every kind of step gets its own total. The numbers it writes
// are those of tambril.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "io/outputFile.h"
#include "model/netlist.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct StepTimes {
  double initialize = 0, helper = 0, value = 0, solve = 0, arrival = 0, update = 0;
};

// The outer loop with a timer around every step; the same calls in the same order as
// CNetlist::SolveLDP, log lines included.
int ProfiledLoop(CNetlist& net, StepTimes& t) {
  auto timed = [](double& total, auto&& step) {
    const auto start = Clock::now();
    step();
    total += Seconds(start, Clock::now());
  };
  OutputFile log;
  log.Open("convergence.txt");
  log.Put("Lower Bound\tUpper Bound").EndLine();
  log.Put("===========\t===========").EndLine();
  int iteration = 1;
  timed(t.initialize, [&] { net.IntializeLM(); });
  timed(t.helper, [&] { net.SolveLRSuHelper(); });
  timed(t.value, [&] { net.lowerBound = net.ComputeLu(const_cast<NodeValues&>(net.Values())); });
  timed(t.arrival, [&] { net.ComputeArrivalTime(); });
  timed(t.update, [&] { net.UpdateLM(); });
  log.Put(net.lowerBound).Put("\t").Put(net.maxDelay).EndLine();
  for (int pass = 1;; ++pass) {
    timed(t.solve, [&] { net.SolveLRSu(); });
    timed(t.arrival, [&] { net.ComputeArrivalTime(); });
    timed(t.update, [&] { net.UpdateLM(); });
    ++iteration;
    log.Put(net.lowerBound).Put("\t").Put(net.maxDelay).EndLine();
    const double total = net.maxDelay + net.lowerBound;
    const double gap = std::fabs(net.maxDelay / total - net.lowerBound / total);
    if (!(gap > net.outerImprove) || pass == CNetlist::kMaxOuterPasses) break;
  }
  timed(t.solve, [&] { net.SolveLRSu(); });
  timed(t.arrival, [&] { net.ComputeArrivalTime(); });
  timed(t.update, [&] { net.UpdateLM(); });
  log.Put(net.lowerBound).Put("\t").Put(net.maxDelay).EndLine();
  net.CopyStateToParts();
  return iteration;
}

}  // namespace

int main(int argc, char** argv) {
  bool profile = false;
  if (argc > 1 && std::strcmp(argv[argc - 1], "--profile") == 0) {
    profile = true;
    --argc;
  }
  if (argc < 3) {
    std::cerr << "usage: tambril_phases NETLIST RESULT [inner] [outer] [--profile]\n";
    return 1;
  }
  CNetlist net;
  if (argc == 4 || argc == 5) net.innerImprove = std::atof(argv[3]);
  if (argc == 5) net.outerImprove = std::atof(argv[4]);

  const auto t0 = Clock::now();
  net.BuildDB("param.txt");
  const auto t1 = Clock::now();
  net.InputNetlist(argv[1]);
  const auto t2 = Clock::now();
  StepTimes steps;
  int passes;
  if (profile) {
    passes = ProfiledLoop(net, steps);
  } else {
    net.OutputResult(argv[2]);
    passes = net.iterationCount;
  }
  const auto t3 = Clock::now();

  const TimingGraph& graph = net.Graph();
  long long gates = 0;
  for (NodeKind kind : graph.kind) gates += kind == NodeKind::kGate;
  std::fprintf(stderr,
               "gates=%lld connections=%d passes=%d sweeps=%lld library_s=%.3f read_order_s=%.3f "
               "optimise_s=%.3f\n",
               gates, graph.EdgeCount(), passes, net.sweepCount, Seconds(t0, t1), Seconds(t1, t2),
               Seconds(t2, t3));
  if (profile) {
    std::fprintf(stderr,
                 "profile: IntializeLM %.3f s, SolveLRSuHelper %.3f s, ComputeLu %.3f s, "
                 "SolveLRSu %.3f s, ComputeArrivalTime %.3f s, UpdateLM %.3f s\n",
                 steps.initialize, steps.helper, steps.value, steps.solve, steps.arrival,
                 steps.update);
  }
  return 0;
}
