#include "timing/timingGraph.h"

#include "model/hugePages.h"

namespace tambril {

// The records are read once each, in id order; what they hold is scattered to positions.
void TimingGraph::Build(const std::vector<PartType>& parts, const std::vector<int>& forwardOrder) {
  const int n = static_cast<int>(forwardOrder.size());
  idAt = forwardOrder;
  AssignLarge(positionOfId, parts.size(), -1);
  for (int p = 0; p < n; ++p) positionOfId[idAt[p] - 1] = p;

  AssignLarge(kind, n, NodeKind::kGate);
  AssignLarge(isPrimaryOutput, n, std::uint8_t{0});
  AssignLarge(unitResistance, n, 0.0);
  AssignLarge(unitInputCap, n, 0.0);
  AssignLarge(unitOutputCap, n, 0.0);
  AssignLarge(minSize, n, 0.0);
  AssignLarge(maxSize, n, 0.0);
  AssignLarge(fanInStart, n + 1, 0);
  AssignLarge(fanOutStart, n + 1, 0);
  for (int k = 0; k < n; ++k) {
    const PartType& part = parts[k];
    const CGate& gate = part.gate;
    const int p = positionOfId[k];
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
    fanInStart[p + 1] = static_cast<int>(part.fanIns.size());
    fanOutStart[p + 1] = static_cast<int>(part.fanOuts.size());
  }
  for (int p = 0; p < n; ++p) {
    fanInStart[p + 1] += fanInStart[p];
    fanOutStart[p + 1] += fanOutStart[p];
  }

  AssignLarge(fanInDriver, fanInStart[n], 0);
  AssignLarge(fanOutEdge, fanOutStart[n], 0);
  AssignLarge(fanOutReceiver, fanOutStart[n], 0);
  for (int k = 0; k < n; ++k) {
    const PartType& part = parts[k];
    const int p = positionOfId[k];
    int edge = fanInStart[p];
    for (const PartInfo& fanIn : part.fanIns) fanInDriver[edge++] = positionOfId[fanIn.node - 1];
  }
  // The fan-in layout is complete, so every connection's edge index is known.
  for (int k = 0; k < n; ++k) {
    const PartType& part = parts[k];
    int entry = fanOutStart[positionOfId[k]];
    for (const PartInfo& fanOut : part.fanOuts) {
      const int receiver = positionOfId[fanOut.node - 1];
      fanOutReceiver[entry] = receiver;
      fanOutEdge[entry] = fanInStart[receiver] + fanOut.pin;
      ++entry;
    }
  }
}

}  // namespace tambril
