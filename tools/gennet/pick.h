// What both shapes of gennet share: random picks of the node a pin reads, gate types, extra
// outputs and the shuffle of the ids.
#pragma once

#include <cstdint>
#include <vector>

#include "generator.h"
#include "rng.h"

namespace tambril::gennet {

// A node of the `size` nodes from `begin`. With hubs, half of the time uniform, otherwise at
// size * u^3 for a uniform u in [0, 1), which makes the first nodes hubs; without, uniform.
inline uint32_t PickIn(Rng& rng, uint32_t begin, uint32_t size, bool hubs) {
  if (!hubs || (rng.next32() & 1)) return begin + rng.below(size);
  const uint64_t u = rng.next32();
  uint64_t x = (u * u) >> 32;
  x = (x * u) >> 32;
  return begin + static_cast<uint32_t>((x * size) >> 32);
}

// Random picks under the fan-out cap and the share of reconvergent pins. Without a cap or
// reconvergence it draws exactly what PickIn draws, so the default netlists keep their bytes.
class Picker {
 public:
  Picker(Rng& rng, const Options& options, uint32_t nodes, bool hubs)
      : rng_(rng),
        hubs_(hubs),
        maxFanout_(options.maxFanout),
        reconvergence_(options.reconvergence),
        fanout_(options.maxFanout ? nodes : 0, 0) {}

  // A node among `size` from `begin`; with a cap, drawn again (up to kTries times in all)
  // while it already drives maxFanout pins, then the next of the following kScan nodes (in
  // turn) that does not, or the last drawn if none.
  uint32_t Pick(uint32_t begin, uint32_t size) {
    uint32_t node = PickIn(rng_, begin, size, hubs_);
    for (int tries = 1; maxFanout_ && fanout_[node] >= maxFanout_ && tries < kTries; ++tries) {
      node = PickIn(rng_, begin, size, hubs_);
    }
    for (uint32_t k = 1; maxFanout_ && k < kScan && k < size; ++k) {
      if (fanout_[node] < maxFanout_) break;
      const uint32_t next = begin + (node - begin + k) % size;
      if (fanout_[next] < maxFanout_) node = next;
    }
    return node;
  }

  // Records a random pin that reads `node`, and returns it.
  uint32_t Read(uint32_t node) {
    if (maxFanout_) ++fanout_[node];
    return node;
  }

  // Counts the pin that will read `node` because nothing reads it yet (the shapes keep such
  // nodes in lists and give them a pin later).
  void Reserve(uint32_t node) {
    if (maxFanout_) ++fanout_[node];
  }

  // For a random pin of the gate whose pins begin at net.pins[firstPin]: with the chance of
  // reconvergence, a random driver of that first pin's driver (if it is a gate with room
  // under the cap) in `node`. Returns whether it chose one.
  bool Reconverge(const Netlist& net, uint32_t firstPin, uint32_t& node) {
    if (reconvergence_ == 0 || rng_.below(kMaxPercent) >= reconvergence_) return false;
    const uint32_t first = net.pins[firstPin];
    if (first < net.inputs) return false;
    const uint32_t gate = first - net.inputs;
    const uint32_t candidate = net.pins[net.pinStart[gate] + rng_.below(net.fanin(gate))];
    if (maxFanout_ && fanout_[candidate] >= maxFanout_) return false;
    node = candidate;
    return true;
  }

 private:
  static constexpr int kTries = 16;
  static constexpr uint32_t kScan = 64;
  Rng& rng_;
  const bool hubs_;
  const uint32_t maxFanout_;
  const uint32_t reconvergence_;
  std::vector<uint32_t> fanout_;  // pins that read or will read each node, kept only with a cap
};

// A gate type for a gate of `fanin` inputs, from one random draw.
GateType DrawType(Rng& rng, TypeMix mix, uint32_t fanin);

// Makes `extra` more gates outputs, chosen evenly among the `candidates` gates that are not
// outputs yet.
void AddOutputs(Netlist& net, uint32_t candidates, uint32_t extra, Rng& rng);

// Ids: a random permutation of the nodes.
void ShuffleIds(Netlist& net, Rng& rng);

// The dag shape (dag.cpp).
Netlist GenerateDag(const Options& options);

}  // namespace tambril::gennet
