// The dag shape: gates made one after the other, each reading nodes made before it. See
// generator.h for the construction.
#include <algorithm>

#include "pick.h"

namespace tambril::gennet {

Netlist GenerateDag(const Options& options) {
  Rng rng(options.seed);
  Netlist net;
  const uint32_t gates = options.gates;
  const uint32_t inputs = options.inputs ? options.inputs : std::max<uint32_t>(1, gates / 20);
  const uint32_t outputs = options.outputs ? options.outputs : std::max<uint32_t>(1, gates / 40);
  net.inputs = inputs;
  net.gates = gates;
  net.outputs = outputs;
  const uint32_t nodes = net.nodes();
  Picker picker(rng, options, nodes, options.fanout == FanoutPick::kHubs);
  const bool evenFanin = options.faninMix == FaninMix::kEven;
  // Relative frequencies of fan-ins 1..4 and beyond as the levelized shape draws them.
  static constexpr uint16_t kSkewed[kMaxFanin] = {150, 450, 250, 90, 25, 12, 7, 5,
                                                  3,   2,   2,   1,  1,  1,  1, 1};
  uint32_t weightSum = 0;
  for (uint32_t k = 0; k < options.maxFanin; ++k) weightSum += kSkewed[k];

  std::vector<uint32_t> level(nodes, 0);
  std::vector<uint32_t> openGates;  // gates that nothing reads yet
  uint32_t nextInput = 0;           // inputs are read in a random order, each once first
  std::vector<uint32_t> inputOrder(inputs);
  for (uint32_t k = 0; k < inputs; ++k) inputOrder[k] = k;
  for (uint32_t k = inputs; k > 1; --k) std::swap(inputOrder[k - 1], inputOrder[rng.below(k)]);
  for (uint32_t input = 0; input < inputs; ++input) picker.Reserve(input);

  net.pinStart.assign(gates + 1, 0);
  net.pins.reserve(size_t{gates} * 3);
  net.depth = 0;
  for (uint32_t gate = 0; gate < gates; ++gate) {
    const uint32_t node = inputs + gate;
    uint32_t fanin = 1;
    if (evenFanin) {
      fanin = 1 + rng.below(options.maxFanin);
    } else {
      uint32_t r = rng.below(weightSum);
      while (r >= kSkewed[fanin - 1]) r -= kSkewed[fanin++ - 1];
    }
    const uint32_t firstPin = static_cast<uint32_t>(net.pins.size());
    uint32_t deepest = 0;
    for (uint32_t pin = 0; pin < fanin; ++pin) {
      uint32_t driver;
      if (openGates.size() >= outputs) {
        const uint32_t index = rng.below(static_cast<uint32_t>(openGates.size()));
        driver = openGates[index];
        openGates[index] = openGates.back();
        openGates.pop_back();
      } else if (nextInput < inputs) {
        driver = inputOrder[nextInput++];
      } else if (pin > 0 && picker.Reconverge(net, firstPin, driver)) {
        picker.Read(driver);
      } else {
        const uint32_t span = options.window ? std::min(options.window, node) : node;
        driver = picker.Read(picker.Pick(node - span, span));
      }
      net.pins.push_back(driver);
      deepest = std::max(deepest, level[driver]);
    }
    net.pinStart[gate + 1] = static_cast<uint32_t>(net.pins.size());
    level[node] = deepest + 1;
    net.depth = std::max(net.depth, level[node]);
    openGates.push_back(node);
    picker.Reserve(node);
  }

  net.fanout.assign(nodes, 0);
  for (uint32_t driver : net.pins) ++net.fanout[driver];
  net.type.resize(gates);
  for (uint32_t gate = 0; gate < gates; ++gate) {
    net.type[gate] = DrawType(rng, options.types, net.fanin(gate));
  }
  // The open gates drive nothing and must be outputs: at most `outputs` of them are left.
  net.isOutput.assign(gates, 0);
  for (uint32_t node : openGates) net.isOutput[node - inputs] = 1;
  const uint32_t open = static_cast<uint32_t>(openGates.size());
  AddOutputs(net, gates - open, outputs - open, rng);
  ShuffleIds(net, rng);
  return net;
}

}  // namespace tambril::gennet
