// tambril_phases [tambril's arguments]
//
// Runs the stages of tambril with the same command line and prints to standard error where
// the time went: reading the library, reading and ordering the netlist (and its levels: how many
// of its nodes lie in levels wide enough to be split among threads), optimising, and the
// optimiser's own counters and step timers. The files it writes are those of tambril.
#include <chrono>
#include <cstdio>

#include "io/runMain.h"
#include "run/commandLine.h"
#include "run/netlist.h"
#include "util/parallel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] {
    const tambril::CommandLine command = tambril::ParseCommandLine(argc, argv);
    tambril::SetThreadCount(tambril::ThreadsFor(command));
    CNetlist net;
    tambril::Configure(command, net);
    net.sizing.chooseThreads = command.threads == 0;  // as tambril: no --threads, it chooses

    const auto t0 = Clock::now();
    net.BuildDB("param.txt");
    const auto t1 = Clock::now();
    net.InputNetlist(command.netlist.c_str());
    const auto t2 = Clock::now();
    long long wideNodes = 0;
    int wideSpans = 0;
    for (const tambril::Span& span : net.Graph().spans) {
      wideSpans += span.wide;
      wideNodes += span.wide ? span.end - span.begin : 0;
    }
    std::fprintf(stderr, "levels=%d spans=%zu wide_spans=%d nodes_in_wide_spans=%lld\n",
                 net.Graph().levelCount, net.Graph().spans.size(), wideSpans, wideNodes);
    net.OutputResult(command.result.c_str());
    const auto t3 = Clock::now();

    const tambril::TimingGraph& graph = net.Graph();
    long long gates = 0;
    for (tambril::NodeKind kind : graph.kind) gates += kind == tambril::NodeKind::kGate;
    const tambril::sizing::Statistics& s = net.Optimizer().Stats();
    std::fprintf(stderr,
                 "gates=%lld connections=%d passes=%d sweeps=%lld library_s=%.3f "
                 "read_order_s=%.3f optimise_s=%.3f\n"
                 "profile: start %.3f s, resize %.3f s, arrival %.3f s, multipliers %.3f s\n",
                 gates, graph.EdgeCount(), s.passes, s.resizeSweeps, Seconds(t0, t1),
                 Seconds(t1, t2), Seconds(t2, t3), s.startSeconds, s.resizeSeconds,
                 s.arrivalSeconds, s.multiplierSeconds);
  });
}
