#include "timing/timingGraph.h"

void TimingGraph::Build(const std::vector<PartType>& parts, const std::vector<int>& forwardOrder) {
  const int n = static_cast<int>(forwardOrder.size());
  idAt = forwardOrder;
  positionOfId.assign(parts.size(), -1);
  for (int p = 0; p < n; ++p) positionOfId[idAt[p] - 1] = p;

  kind.resize(n);
  isPrimaryOutput.resize(n);
  unitResistance.resize(n);
  unitInputCap.resize(n);
  unitOutputCap.resize(n);
  minSize.resize(n);
  maxSize.resize(n);
  fanInStart.assign(n + 1, 0);
  fanOutStart.assign(n + 1, 0);
  for (int p = 0; p < n; ++p) {
    const PartType& part = parts[idAt[p] - 1];
    const CGate& gate = part.gate;
    if (IsSourceNode(gate)) {
      kind[p] = NodeKind::kSource;
    } else if (IsSinkNode(gate)) {
      kind[p] = NodeKind::kSink;
      sinkPosition = p;
    } else if (IsPrimaryInputNode(gate)) {
      kind[p] = NodeKind::kPrimaryInput;
    } else {
      kind[p] = NodeKind::kGate;
    }
    isPrimaryOutput[p] = gate.isPrimaryOutput == 1;
    unitResistance[p] = gate.unitResistance;
    unitInputCap[p] = gate.unitInputCap;
    unitOutputCap[p] = gate.unitOutputCap;
    minSize[p] = gate.minSize;
    maxSize[p] = gate.maxSize;
    fanInStart[p + 1] = fanInStart[p] + static_cast<int>(part.fanIns.size());
    fanOutStart[p + 1] = fanOutStart[p] + static_cast<int>(part.fanOuts.size());
  }

  fanInDriver.resize(fanInStart[n]);
  fanOutEdge.resize(fanOutStart[n]);
  fanOutReceiver.resize(fanOutStart[n]);
  for (int p = 0; p < n; ++p) {
    const PartType& part = parts[idAt[p] - 1];
    int edge = fanInStart[p];
    for (const PartInfo& fanIn : part.fanIns) fanInDriver[edge++] = positionOfId[fanIn.node - 1];
    int entry = fanOutStart[p];
    for (const PartInfo& fanOut : part.fanOuts) {
      const int receiver = positionOfId[fanOut.node - 1];
      fanOutReceiver[entry] = receiver;
      fanOutEdge[entry] = fanInStart[receiver] + fanOut.pin;
      ++entry;
    }
  }
}
