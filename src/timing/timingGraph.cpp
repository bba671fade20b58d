#include "timing/timingGraph.h"

#include <cstring>
#include <unordered_map>

#include "util/hugePages.h"
#include "util/prefetch.h"

namespace tambril {

namespace {

// The constants as bits, so that equal sets are found whatever their values (a not-a-number
// is still one value here).
struct ConstantsKey {
  std::uint64_t bits[5];
  explicit ConstantsKey(const NodeConstants& c) {
    const double values[5] = {c.unitResistance, c.unitInputCap, c.unitOutputCap, c.minSize,
                              c.maxSize};
    std::memcpy(bits, values, sizeof bits);
  }
  bool operator==(const ConstantsKey& other) const {
    return std::memcmp(bits, other.bits, sizeof bits) == 0;
  }
};
struct ConstantsHash {
  size_t operator()(const ConstantsKey& key) const {
    std::uint64_t h = 0;
    for (std::uint64_t b : key.bits) h = (h ^ b) * 0x100000001b3ULL + (h >> 29);
    return static_cast<size_t>(h);
  }
};

// Levels in one walk of a topological order, then positions by a counting sort on the level,
// ascending ids within a level. O(V + E).
void LayOutByLevel(const std::vector<PartType>& parts, const std::vector<int>& order,
                   std::vector<int>& idAt, std::vector<int>& levelStart) {
  const int n = static_cast<int>(order.size());
  std::vector<int> level(n, 0);
  int levels = n > 0 ? 1 : 0;
  // The order visits the records at random: each node's record, its connections and its
  // drivers' levels are three reads that wait on one another, so they are asked for in stages
  // some nodes ahead.
  constexpr int kAhead = 12;
  for (int i = 0; i < n; ++i) {
    if (i + 3 * kAhead < n) PrefetchRead(&parts[order[i + 3 * kAhead] - 1].fanIns);
    if (i + 2 * kAhead < n) PrefetchRead(parts[order[i + 2 * kAhead] - 1].fanIns.data());
    if (i + kAhead < n) {
      for (const PartInfo& fanIn : parts[order[i + kAhead] - 1].fanIns) {
        PrefetchRead(&level[fanIn.node - 1]);
      }
    }
    const int id = order[i];
    int deepest = 0;
    for (const PartInfo& fanIn : parts[id - 1].fanIns) {
      const int above = level[fanIn.node - 1] + 1;
      if (above > deepest) deepest = above;
    }
    level[id - 1] = deepest;
    if (deepest + 1 > levels) levels = deepest + 1;
  }
  levelStart.assign(levels + 1, 0);
  for (int k = 0; k < n; ++k) ++levelStart[level[k] + 1];
  for (int l = 0; l < levels; ++l) levelStart[l + 1] += levelStart[l];
  std::vector<int> fill(levelStart.begin(), levelStart.end() - 1);
  AssignLarge(idAt, n, 0);
  for (int k = 0; k < n; ++k) idAt[fill[level[k]]++] = k + 1;
}

}  // namespace

// The records are read once each, in id order; what they hold is scattered to positions.
void TimingGraph::Build(const std::vector<PartType>& parts, const std::vector<int>& order) {
  const int n = static_cast<int>(order.size());
  std::vector<int> levelStart;
  std::vector<int> idAt;  // position -> node id
  LayOutByLevel(parts, order, idAt, levelStart);
  levelCount = static_cast<int>(levelStart.size()) - 1;
  spans.clear();
  for (int l = 0; l < levelCount; ++l) {
    const int begin = levelStart[l];
    const int end = levelStart[l + 1];
    const bool wide = end - begin >= kMinWideLevel;
    if (!wide && !spans.empty() && !spans.back().wide) {
      spans.back().end = end;  // narrow levels run together
    } else {
      spans.push_back(Span{begin, end, wide});
    }
  }
  AssignLarge(positionOfId, parts.size(), -1);
  for (int p = 0; p < n; ++p) positionOfId[idAt[p] - 1] = p;
  idAt.clear();
  idAt.shrink_to_fit();

  AssignLarge(kind, n, NodeKind::kGate);
  AssignLarge(isPrimaryOutput, n, std::uint8_t{0});
  AssignLarge(constantsOf, n, std::int32_t{0});
  constants.clear();
  std::unordered_map<ConstantsKey, std::int32_t, ConstantsHash> index;
  AssignLarge(fanInStart, n + 1, 0);
  AssignLarge(fanOutStart, n + 1, 0);
  // Kinds and counts node by node in parallel; the constants' index, a map, on one thread.
  ParallelFor(0, n, [&](int first, int last) {
    for (int k = first; k < last; ++k) {
      const PartType& part = parts[k];
      const CGate& gate = part.gate;
      const int p = positionOfId[k];
      if (IsSourceNode(gate)) {
        kind[p] = NodeKind::kSource;
      } else if (IsSinkNode(gate)) {
        kind[p] = NodeKind::kSink;
      } else if (IsPrimaryInputNode(gate)) {
        kind[p] = NodeKind::kPrimaryInput;
      } else {
        kind[p] = NodeKind::kGate;
      }
      isPrimaryOutput[p] = gate.isPrimaryOutput == 1;
      fanInStart[p + 1] = static_cast<int>(part.fanIns.size());
      fanOutStart[p + 1] = static_cast<int>(part.fanOuts.size());
    }
  });
  for (int k = 0; k < n; ++k) {
    const CGate& gate = parts[k].gate;
    const int p = positionOfId[k];
    if (kind[p] == NodeKind::kSink) sinkPosition = p;
    const NodeConstants values{gate.unitResistance, gate.unitInputCap, gate.unitOutputCap,
                               gate.minSize, gate.maxSize};
    const auto found =
        index.try_emplace(ConstantsKey(values), static_cast<std::int32_t>(constants.size()));
    if (found.second) constants.push_back(values);
    constantsOf[p] = found.first->second;
  }
  for (int p = 0; p < n; ++p) {
    fanInStart[p + 1] += fanInStart[p];
    fanOutStart[p + 1] += fanOutStart[p];
  }

  AssignLarge(fanInDriver, fanInStart[n], 0);
  AssignLarge(fanOutEdge, fanOutStart[n], 0);
  AssignLarge(fanOutReceiver, fanOutStart[n], 0);
  // Each node writes its own rows: the nodes can be taken in any order.
  ParallelFor(0, n, [&](int first, int last) {
    for (int k = first; k < last; ++k) {
      const PartType& part = parts[k];
      const int p = positionOfId[k];
      int edge = fanInStart[p];
      for (const PartInfo& fanIn : part.fanIns) fanInDriver[edge++] = positionOfId[fanIn.node - 1];
    }
  });
  // The fan-in layout is complete, so every connection's edge index is known.
  ParallelFor(0, n, [&](int first, int last) {
    for (int k = first; k < last; ++k) {
      const PartType& part = parts[k];
      int entry = fanOutStart[positionOfId[k]];
      for (const PartInfo& fanOut : part.fanOuts) {
        const int receiver = positionOfId[fanOut.node - 1];
        fanOutReceiver[entry] = receiver;
        fanOutEdge[entry] = fanInStart[receiver] + fanOut.pin;
        ++entry;
      }
    }
  });
}

}  // namespace tambril
