// Moving the optimiser's state between the flat form and the node records.
#include "model/netlist.h"

void CNetlist::CopyStateToParts() {
  const int n = graph.NodeCount();
  for (int p = 0; p < n; ++p) {
    CGate& gate = parts[graph.idAt[p] - 1].gate;
    gate.size = current.size[p];
    gate.loadCap = current.loadCap[p];
    gate.upstreamResistance = current.upstreamResistance[p];
    gate.delay = current.delay[p];
    gate.lambdaSum = lambdaSum[p];
    const int first = graph.fanInStart[p];
    const int count = graph.fanInStart[p + 1] - first;
    gate.lambdas.assign(lambdas.begin() + first, lambdas.begin() + first + count);
    gate.inputArrivals.assign(arrivals.begin() + first, arrivals.begin() + first + count);
  }
}

void CNetlist::LoadStateFromParts() {
  const int n = graph.NodeCount();
  for (int p = 0; p < n; ++p) {
    const CGate& gate = parts[graph.idAt[p] - 1].gate;
    current.size[p] = gate.size;
    current.loadCap[p] = gate.loadCap;
    current.upstreamResistance[p] = gate.upstreamResistance;
    current.delay[p] = gate.delay;
    lambdaSum[p] = gate.lambdaSum;
    const int first = graph.fanInStart[p];
    const int count = graph.fanInStart[p + 1] - first;
    for (int i = 0; i < count && i < static_cast<int>(gate.lambdas.size()); ++i) {
      lambdas[first + i] = gate.lambdas[i];
    }
    for (int i = 0; i < count && i < static_cast<int>(gate.inputArrivals.size()); ++i) {
      arrivals[first + i] = gate.inputArrivals[i];
    }
  }
  trial = current;
}
