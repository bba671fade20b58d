// Completing the circuit graph once the node lines are read: the connection checks, the
// "Input" and "Output" pseudo-nodes and the fan-out mirror.
#include "input/circuitGraph.h"

#include "io/error.h"
#include "util/hugePages.h"
#include "util/parallel.h"
#include "util/prefetch.h"

namespace tambril {

namespace {

void ValidateConnections(const std::string& fileName, const std::vector<PartType>& parts) {
  const int n = static_cast<int>(parts.size());
  std::vector<int> driven(n, 0);
  for (const PartType& part : parts) {
    // A primary input has exactly one driver, the "Input" node added below.
    if (IsPrimaryInputNode(part.gate) && part.gate.fanInCount != 0) {
      throw CannotParse(fileName);
    }
    for (const PartInfo& fanIn : part.fanIns) {
      if (fanIn.node < 1 || fanIn.node > n) throw CannotParse(fileName);
      ++driven[fanIn.node - 1];
    }
  }
  // The orderings count fan-outs down to zero; a count that disagrees with the connections
  // would give a wrong order or none.
  for (int k = 0; k < n; ++k) {
    if (driven[k] != parts[k].gate.fanOutCount) throw CannotParse(fileName);
  }
}

}  // namespace

void CompleteCircuitGraph(const std::string& fileName, double driverResistance, double outputLoad,
                          std::vector<PartType>& parts) {
  ValidateConnections(fileName, parts);
  const int n = static_cast<int>(parts.size());

  PartType source;
  source.gate.SetName("Input");
  source.gate.id = n + 1;
  for (PartType& part : parts) {
    if (!IsPrimaryInputNode(part.gate)) continue;
    part.fanIns.push_back(PartInfo{n + 1, 0, 0.0, 0.0});
    ++part.gate.fanInCount;
    part.gate.unitResistance = driverResistance;
    part.gate.inputArrivals.push_back(0.0);
    part.gate.lambdas.push_back(-1.0);
    source.fanOuts.push_back(PartInfo{part.gate.id, 0, 0.0, 0.0});
  }
  source.gate.fanOutCount = static_cast<int>(source.fanOuts.size());
  source.gate.fanInCount = 0;
  parts.push_back(std::move(source));

  PartType sink;
  sink.gate.SetName("Output");
  sink.gate.id = n + 2;
  sink.gate.unitInputCap = outputLoad;
  int pin = 0;
  for (PartType& part : parts) {
    if (part.gate.isPrimaryOutput != 1) continue;
    ++part.gate.fanOutCount;
    sink.fanIns.push_back(PartInfo{part.gate.id, pin, 0.0, 0.0});
    sink.gate.lambdas.push_back(-1.0);
    sink.gate.inputArrivals.push_back(0.0);
    ++pin;
  }
  sink.gate.fanInCount = static_cast<int>(sink.fanIns.size());
  sink.gate.fanOutCount = 0;
  parts.push_back(std::move(sink));

  // Mirror every fan-in into a fan-out at its driver. Receivers are visited by ascending id,
  // so each driver's fan-outs come out ordered by receiver id, then pin. The records are first
  // gathered in one flat array, laid out by driver with the checked counts, so that the node
  // records are each written once, in order, rather than appended to at random.
  {
    std::vector<size_t> start(parts.size() + 1, 0);
    for (size_t k = 0; k < parts.size(); ++k) {
      const bool mirrored = !IsSourceNode(parts[k].gate);  // "Input" got its fan-outs above
      start[k + 1] = start[k] + (mirrored ? static_cast<size_t>(parts[k].gate.fanOutCount) : 0);
    }
    std::vector<PartInfo> mirror;
    AssignLarge(mirror, start.back(), PartInfo{});
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    // The drivers' slots lie at random: a driver's fill count, then its slot, are asked for
    // some receivers ahead (a slot found early may be one short of where the entry goes, which
    // costs nothing).
    constexpr size_t kAhead = 4;
    const size_t count = parts.size();
    for (size_t k = 0; k < count; ++k) {
      if (k + 2 * kAhead < count) {
        for (const PartInfo& fanIn : parts[k + 2 * kAhead].fanIns) {
          PrefetchRead(&fill[fanIn.node - 1]);
        }
      }
      if (k + kAhead < count) {
        for (const PartInfo& fanIn : parts[k + kAhead].fanIns) {
          PrefetchWrite(mirror.data() + fill[fanIn.node - 1]);
        }
      }
      const PartType& receiver = parts[k];
      if (IsPrimaryInputNode(receiver.gate) || IsSourceNode(receiver.gate)) continue;
      int position = 0;
      for (const PartInfo& fanIn : receiver.fanIns) {
        mirror[fill[fanIn.node - 1]++] = PartInfo{receiver.gate.id, position, 0.0, 0.0};
        ++position;
      }
    }
    ParallelFor(0, static_cast<int>(parts.size()), [&](int first, int last) {
      for (int k = first; k < last; ++k) {
        if (start[k + 1] == start[k]) continue;
        parts[k].fanOuts.assign(mirror.begin() + start[k], mirror.begin() + start[k + 1]);
      }
    });
  }
}

}  // namespace tambril
