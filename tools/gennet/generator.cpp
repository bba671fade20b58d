#include "generator.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <utility>

#include "common/netlistWriter.h"
#include "io/error.h"
#include "pick.h"
#include "rng.h"

namespace tambril::gennet {

namespace {

// Relative frequency of each fan-in 1..16; a draw only uses the first max-fanin entries.
constexpr uint16_t kFaninWeight[kMaxFanin] = {150, 450, 250, 90, 25, 12, 7, 5,
                                              3,   2,   2,   1,  1,  1,  1, 1};

// log2(n) in 16.16 fixed point (truncated), computed bit by bit by repeated squaring.
uint64_t log2Fixed16(uint32_t n) {
  uint32_t whole = 0;
  while ((n >> whole) > 1) ++whole;
  uint64_t y = static_cast<uint64_t>(n) << (31 - whole);  // n / 2^whole in Q1.31, in [1, 2)
  uint64_t result = static_cast<uint64_t>(whole) << 16;
  for (int bit = 15; bit >= 0; --bit) {
    y = (y * y) >> 31;
    if (y >= (uint64_t{1} << 32)) {
      y >>= 1;
      result |= uint64_t{1} << bit;
    }
  }
  return result;
}

uint32_t drawFanin(Rng& rng, uint32_t weightSum) {
  uint32_t r = rng.below(weightSum);
  uint32_t index = 0;
  while (r >= kFaninWeight[index]) r -= kFaninWeight[index++];
  return index + 1;
}

// Fan-ins and level widths, chosen from the top level down. A node on level L needs a pin
// from above: the first pins of level L+1 or a spare pin (a gate's other pins) of any level
// above L that no level in between has claimed. `pool` counts those unclaimed spare pins.
class Planner {
 public:
  Planner(const Options& options, uint32_t depth, uint32_t inputs, Rng& rng)
      : fanin(options.gates),
        width(depth + 2, 0),
        sinks(depth + 2, 0),
        gates_(options.gates),
        depth_(depth),
        inputs_(inputs),
        maxFanin_(options.maxFanin),
        outputs_(options.outputs),
        evenFanin_(options.faninMix == FaninMix::kEven),
        rng_(rng),
        gateBegin_(options.gates) {}

  // `packed` is the fallback for output targets that the natural shape cannot meet: all the
  // outputs go on the top level and every level below takes as many gates as the pins above
  // can read, at full fan-in if need be.
  bool run(bool packed, std::string& error) {
    // Natural level widths: proportional to random weights in [64, 192), each at least 1. The
    // top quarter of the levels narrows towards the outputs, down to 1/8 of the full width on
    // the top level. Weights stay below 1536, so spare * total fits in 64 bits.
    std::vector<uint16_t> weight(depth_ + 1, 0);
    const uint32_t taper = std::max<uint32_t>(1, depth_ / 4);
    uint64_t total = 0;
    for (uint32_t level = 1; level <= depth_; ++level) {
      const uint32_t fromTop = depth_ - level;
      const uint32_t scale = fromTop < taper ? 1 + 7 * fromTop / taper : 8;
      weight[level] = static_cast<uint16_t>((64 + rng_.below(128)) * scale);
      total += weight[level];
    }
    const uint64_t spare = gates_ - depth_;
    const uint32_t weightSum =
        std::accumulate(kFaninWeight, kFaninWeight + maxFanin_, static_cast<uint32_t>(0));
    const bool target = outputs_ != 0;

    uint64_t cumulative = total;  // sum of the weights of levels 1..level
    int64_t carry = 0;            // gates the levels above could not take
    uint64_t budget = 0;          // outputs of the target not spent yet
    uint32_t remaining = gates_;
    for (uint32_t level = depth_; level >= 1; --level) {
      const uint64_t below = cumulative - weight[level];
      const uint64_t natural = 1 + spare * cumulative / total - spare * below / total;
      cumulative = below;
      uint64_t count = 0;
      uint64_t sinkCount = 0;
      if (level == depth_) {
        count = natural;
        if (target && level > 1) {
          count = packed ? std::min<uint64_t>(outputs_, remaining - (level - 1))
                         : std::min<uint64_t>(natural, outputs_);
        }
        if (target && count > outputs_) {
          error = "a single level of " + std::to_string(gates_) + " gates makes " +
                  std::to_string(gates_) + " outputs, not " + std::to_string(outputs_) +
                  " (raise --depth)";
          return false;
        }
        sinkCount = count;
        if (target) budget = outputs_ - count;
      } else {
        // Each level below keeps at least one gate in reserve.
        const int64_t reserve = static_cast<int64_t>(remaining) - (level - 1);
        const int64_t wanted = packed ? reserve : static_cast<int64_t>(natural) + carry;
        count =
            level == 1 ? remaining : static_cast<uint64_t>(std::clamp<int64_t>(wanted, 1, reserve));
        uint64_t capacity = width[level + 1] + pool_;
        if (count > capacity && target) {
          pool_ += widen(gateBegin_, count - capacity);
          capacity = width[level + 1] + pool_;
        }
        if (count > capacity) {
          uint64_t excess = count - capacity;
          if (!target) {
            sinkCount = excess;
          } else {
            sinkCount = std::min(excess, budget);
            budget -= sinkCount;
            excess -= sinkCount;
            if (excess > 0 && level == 1) {
              error = "cannot fit " + std::to_string(gates_) + " gates on " +
                      std::to_string(depth_) + " levels with only " + std::to_string(outputs_) +
                      " outputs and fan-in at most " + std::to_string(maxFanin_) +
                      " (raise --outputs, --depth or --max-fanin)";
              return false;
            }
            count -= excess;  // pushed down to the next level
          }
        }
        const uint64_t covered = count - sinkCount;
        if (covered > width[level + 1]) pool_ -= covered - width[level + 1];
      }
      carry += static_cast<int64_t>(natural) - static_cast<int64_t>(count);
      remaining -= static_cast<uint32_t>(count);
      gateBegin_ -= static_cast<uint32_t>(count);
      width[level] = static_cast<uint32_t>(count);
      sinks[level] = static_cast<uint32_t>(sinkCount);
      for (uint32_t gate = gateBegin_; gate < gateBegin_ + count; ++gate) {
        fanin[gate] = static_cast<uint8_t>(evenFanin_ ? 1 + rng_.below(maxFanin_)
                                                      : drawFanin(rng_, weightSum));
        pool_ += fanin[gate] - 1u;
      }
    }

    // Primary inputs: widen gates so that each can drive a pin; any left over stay unused.
    uint64_t capacity = width[1] + pool_;
    if (inputs_ > capacity) {
      pool_ += widen(0, inputs_ - capacity);
      capacity = width[1] + pool_;
    }
    unusedInputs = inputs_ > capacity ? static_cast<uint32_t>(inputs_ - capacity) : 0;
    return true;
  }

  std::vector<uint8_t> fanin;   // per gate, in level order
  std::vector<uint32_t> width;  // gates on each level 1..depth
  std::vector<uint32_t> sinks;  // gates on each level that nothing needs to read
  uint32_t unusedInputs = 0;

 private:
  // Adds up to `amount` pins to the gates from `from` upwards, nearest first, and returns how
  // many were added. Runs of gates already at max-fanin are remembered so that each is only
  // walked over once.
  uint64_t widen(uint32_t from, uint64_t amount) {
    uint32_t gate = from;
    uint64_t added = 0;
    while (added < amount && gate < gates_) {
      if (!full_.empty() && full_.back().first == gate) {
        gate = full_.back().second;
        full_.pop_back();
        continue;
      }
      const uint64_t step = std::min<uint64_t>(maxFanin_ - fanin[gate], amount - added);
      fanin[gate] = static_cast<uint8_t>(fanin[gate] + step);
      added += step;
      if (fanin[gate] < maxFanin_) break;
      ++gate;
    }
    if (gate > from) {
      if (!full_.empty() && full_.back().first == gate) {
        gate = full_.back().second;
        full_.pop_back();
      }
      full_.emplace_back(from, gate);
    }
    return added;
  }

  const uint32_t gates_;
  const uint32_t depth_;
  const uint32_t inputs_;
  const uint32_t maxFanin_;
  const uint32_t outputs_;
  const bool evenFanin_;
  Rng& rng_;
  uint64_t pool_ = 0;
  uint32_t gateBegin_;  // first gate of the lowest level planned so far
  std::vector<std::pair<uint32_t, uint32_t>> full_;  // [begin, end) runs at max-fanin, lowest last
};

// Connects every pin. Pins go first to nodes that still need a reader (first pins to the level
// just below, other pins to anything left over below), then to random nodes of nearby levels.
// Taking every open node as early as possible covers as many as any order could, so all the
// nodes the plan expects to be read are read.
void connect(const Planner& plan, const Options& options, Netlist& net, Rng& rng,
             std::string& error) {
  const uint32_t inputs = net.inputs;
  Picker picker(rng, options, net.nodes(), options.fanout != FanoutPick::kEven);
  std::vector<uint32_t> open;  // nodes of the level below that nothing reads yet
  std::vector<uint32_t> debt;  // such nodes of lower levels
  open.resize(inputs - plan.unusedInputs);
  std::iota(open.begin(), open.end(), 0u);
  for (uint32_t node : open) picker.Reserve(node);
  auto takeOpen = [&]() {
    const uint32_t index = rng.below(static_cast<uint32_t>(open.size()));
    const uint32_t node = open[index];
    open[index] = open.back();
    open.pop_back();
    return node;
  };

  for (uint32_t level = 1; level <= net.depth; ++level) {
    const uint32_t first = net.levelStart[level] - inputs;
    const uint32_t last = net.levelStart[level + 1] - inputs;
    const uint32_t lowerBegin = net.levelStart[level - 1];
    const uint32_t lowerSize = net.levelStart[level] - lowerBegin;
    for (uint32_t gate = first; gate < last; ++gate) {
      net.pins[net.pinStart[gate]] =
          open.empty() ? picker.Read(picker.Pick(lowerBegin, lowerSize)) : takeOpen();
    }
    for (uint32_t gate = first; gate < last; ++gate) {
      const uint32_t begin = net.pinStart[gate];
      const uint32_t end = net.pinStart[gate + 1];
      for (uint32_t pin = begin + 1; pin < end; ++pin) {
        uint32_t node;
        if (!open.empty()) {
          node = takeOpen();
        } else if (!debt.empty()) {
          node = debt.back();
          debt.pop_back();
        } else if (picker.Reconverge(net, begin, node)) {
          picker.Read(node);
        } else {
          const uint32_t r = rng.next32();
          uint32_t from;
          if (level == 1) {
            from = 0;
          } else if ((r & 15) == 0) {
            from = rng.below(level);
          } else {
            const uint32_t back = (r & 16) ? 1 : (r & 32) ? 2 : (r & 64) ? 3 : 4;
            from = back >= level ? 0 : level - back;
          }
          node = picker.Read(
              picker.Pick(net.levelStart[from], net.levelStart[from + 1] - net.levelStart[from]));
        }
        net.pins[pin] = node;
      }
      // The pin from the level below lands on a random input position.
      std::swap(net.pins[begin], net.pins[begin + rng.below(end - begin)]);
    }
    debt.insert(debt.end(), open.begin(), open.end());
    open.clear();
    const uint32_t readBegin = net.levelStart[level];
    const uint32_t readEnd = net.levelStart[level + 1] - plan.sinks[level];
    for (uint32_t node = readBegin; node < readEnd; ++node) {
      open.push_back(node);
      picker.Reserve(node);
    }
  }
  if (!open.empty() || !debt.empty()) error = "internal error: some nodes drive nothing";
}

}  // namespace

uint32_t DefaultDepth(uint32_t gates) {
  const uint64_t depth = (3 * log2Fixed16(gates) + (1u << 15)) >> 16;
  return static_cast<uint32_t>(std::clamp<uint64_t>(depth, 1, gates));
}

uint32_t DefaultInputs(uint32_t gates) {
  const uint64_t square = uint64_t{4} * gates;
  uint64_t root = 0;
  for (uint64_t bit = uint64_t{1} << 31; bit != 0; bit >>= 1) {
    if ((root + bit) * (root + bit) <= square) root += bit;
  }
  return static_cast<uint32_t>(std::max<uint64_t>(root, 1));
}

Netlist Generate(const Options& options) {
  if (options.shape == Shape::kDag) return GenerateDag(options);
  std::string error;
  const uint32_t gates = options.gates;
  const uint32_t depth = options.depth ? options.depth : DefaultDepth(gates);
  const uint32_t inputs = options.inputs ? options.inputs : DefaultInputs(gates);
  Rng rng(options.seed);

  auto plan = std::make_unique<Planner>(options, depth, inputs, rng);
  if (!plan->run(false, error)) {
    // Some output targets only fit with every output on the top level.
    if (!options.outputs) throw Error("gennet: " + error);
    std::string packedError;
    rng = Rng(options.seed);
    plan = std::make_unique<Planner>(options, depth, inputs, rng);
    if (!plan->run(true, packedError)) throw Error("gennet: " + error);
    error.clear();
  }

  Netlist net;
  net.inputs = inputs;
  net.gates = gates;
  net.depth = depth;
  net.levelStart.resize(depth + 2);
  net.levelStart[0] = 0;
  net.levelStart[1] = inputs;
  for (uint32_t level = 1; level <= depth; ++level) {
    net.levelStart[level + 1] = net.levelStart[level] + plan->width[level];
  }
  net.pinStart.resize(gates + 1);
  net.pinStart[0] = 0;
  for (uint32_t gate = 0; gate < gates; ++gate) {
    net.pinStart[gate + 1] = net.pinStart[gate] + plan->fanin[gate];
  }
  net.pins.resize(net.pinStart[gates]);

  connect(*plan, options, net, rng, error);
  if (!error.empty()) throw Error("gennet: " + error);

  const uint32_t nodes = net.nodes();
  net.fanout.assign(nodes, 0);
  for (uint32_t driver : net.pins) ++net.fanout[driver];

  net.type.resize(gates);
  for (uint32_t gate = 0; gate < gates; ++gate) {
    net.type[gate] = DrawType(rng, options.types, plan->fanin[gate]);
  }

  // Outputs: every sink, then extra gates among those that drive something.
  net.isOutput.assign(gates, 0);
  uint32_t sinkTotal = 0;
  for (uint32_t level = 1; level <= depth; ++level) {
    const uint32_t end = net.levelStart[level + 1] - inputs;
    for (uint32_t gate = end - plan->sinks[level]; gate < end; ++gate) net.isOutput[gate] = 1;
    sinkTotal += plan->sinks[level];
  }
  const uint32_t drivers = gates - sinkTotal;
  const uint32_t extra = options.outputs ? options.outputs - sinkTotal
                                         : std::min(drivers, std::max<uint32_t>(1, sinkTotal / 4));
  net.outputs = sinkTotal + extra;
  AddOutputs(net, drivers, extra, rng);
  ShuffleIds(net, rng);
  return net;
}

GateType DrawType(Rng& rng, TypeMix mix, uint32_t fanin) {
  // Gates with two or more inputs, each listed as often as its weight (out of 16).
  static constexpr GateType kWideTypes[16] = {kNand, kNand, kNand, kNand, kNand, kAnd, kAnd, kAnd,
                                              kNor,  kNor,  kNor,  kOr,   kOr,   kOr,  kXor, kXnor};
  static constexpr GateType kEvenTypes[6] = {kAnd, kNand, kOr, kNor, kXor, kXnor};
  const uint32_t r = rng.next32();
  switch (mix) {
    case TypeMix::kMixed:
      break;
    case TypeMix::kEven:
      return fanin == 1 ? ((r & 1) ? kInv : kBuf) : kEvenTypes[(uint64_t{r} * 6) >> 32];
    case TypeMix::kNandNor:
      return fanin == 1 ? kInv : ((r & 1) ? kNand : kNor);
    case TypeMix::kXorHeavy:
      if (fanin > 1 && (r & 16)) return (r & 1) ? kXor : kXnor;
      break;
  }
  return fanin == 1 ? ((r & 3) ? kInv : kBuf) : kWideTypes[r & 15];
}

void AddOutputs(Netlist& net, uint32_t candidates, uint32_t extra, Rng& rng) {
  for (uint32_t gate = 0; gate < net.gates && extra > 0; ++gate) {
    if (net.isOutput[gate]) continue;
    if (rng.below(candidates--) < extra) {
      net.isOutput[gate] = 1;
      --extra;
    }
  }
}

void ShuffleIds(Netlist& net, Rng& rng) {
  const uint32_t nodes = net.nodes();
  net.nodeOfId.resize(nodes);
  std::iota(net.nodeOfId.begin(), net.nodeOfId.end(), 0u);
  for (uint32_t i = nodes - 1; i > 0; --i)
    std::swap(net.nodeOfId[i], net.nodeOfId[rng.below(i + 1)]);
  net.idOfNode.resize(nodes);
  for (uint32_t id = 0; id < nodes; ++id) net.idOfNode[net.nodeOfId[id]] = id;
}

void WriteNetlist(const Netlist& net, const Sink& sink) {
  tools::NetlistWriter writer(sink);
  writer.Header(net.gates, net.outputs, net.nodes());

  // Lines are written a block at a time. Each block first gathers what its lines need in
  // short loops of independent loads, which the processor overlaps, instead of chasing
  // node -> pins -> driver id one line at a time.
  constexpr uint32_t kBlock = 4096;
  constexpr uint8_t kInput = 0xff;
  std::vector<uint32_t> node(kBlock), fanout(kBlock), pinBegin(kBlock), fanin(kBlock);
  std::vector<uint8_t> kind(kBlock);
  std::vector<uint32_t> driver(size_t{kBlock} * kMaxFanin);
  const uint32_t nodes = net.nodes();
  for (uint32_t first = 0; first < nodes; first += kBlock) {
    const uint32_t count = std::min(kBlock, nodes - first);
    for (uint32_t i = 0; i < count; ++i) node[i] = net.nodeOfId[first + i];
    for (uint32_t i = 0; i < count; ++i) fanout[i] = net.fanout[node[i]];
    for (uint32_t i = 0; i < count; ++i) {
      if (node[i] < net.inputs) {
        kind[i] = kInput;
        pinBegin[i] = 0;
        fanin[i] = 0;
        continue;
      }
      const uint32_t gate = node[i] - net.inputs;
      kind[i] = static_cast<uint8_t>(net.type[gate] | (net.isOutput[gate] << 7));
      pinBegin[i] = net.pinStart[gate];
      fanin[i] = net.pinStart[gate + 1] - pinBegin[i];
    }
    uint32_t pinCount = 0;
    for (uint32_t i = 0; i < count; ++i) {
      for (uint32_t pin = 0; pin < fanin[i]; ++pin)
        driver[pinCount++] = net.pins[pinBegin[i] + pin];
    }
    for (uint32_t pin = 0; pin < pinCount; ++pin) driver[pin] = net.idOfNode[driver[pin]] + 1;

    const uint32_t* next = driver.data();
    for (uint32_t i = 0; i < count; ++i) {
      if (kind[i] == kInput) {
        writer.Input(fanout[i]);
        continue;
      }
      writer.Gate(static_cast<GateType>(kind[i] & 0x7f), (kind[i] & 0x80) != 0, fanout[i], next,
                  fanin[i]);
      next += fanin[i];
    }
  }
  writer.Finish();
}

}  // namespace tambril::gennet
