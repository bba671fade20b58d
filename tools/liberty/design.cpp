#include "design.h"

#include <algorithm>

#include "io/error.h"

namespace tambril::liberty {

Design BindDesign(const VerilogNetlist& netlist, const CellLibrary& library,
                  const Families& families, const std::string& program) {
  const std::string where = program + ": " + netlist.fileName + ":";
  const auto fail = [&](int line, const std::string& message) {
    return FormatError(where + std::to_string(line) + ": " + message);
  };
  Design design;
  design.memberIndex.assign(library.cells.size(), -1);
  design.arcStart.assign(library.cells.size(), -1);
  for (const Family& family : families.families) {
    for (size_t m = 0; m < family.cells.size(); ++m) {
      design.memberIndex[family.cells[m]] = static_cast<int>(m);
    }
    design.memberOf.push_back(family.cells);
    std::vector<std::vector<int>> maps;
    for (int c : family.cells) {
      const Cell& cell = library.cells[c];
      std::vector<int> map;
      for (const std::string& name : family.inputs) {
        int index = 0;
        while (cell.pins[cell.inputs[index]].name != name) ++index;
        map.push_back(index);
      }
      design.arcStart[c] = static_cast<int>(design.arcs.size());
      for (int index : map) {
        design.arcs.push_back(&cell.arcs[index]);
        const Pin& pin = cell.pins[cell.inputs[index]];
        design.pinCaps.push_back(pin.riseCap);
        design.pinCaps.push_back(pin.fallCap);
      }
      maps.push_back(std::move(map));
    }
    design.pinMap.push_back(std::move(maps));
  }

  int nets = netlist.NetCount();
  std::vector<int> netLine(nets, 0);  // the instance line that drives the net
  std::vector<char> driven(nets, 0);
  design.constant.assign(nets, 0);
  for (int n = 0; n < nets; ++n) {
    const auto d = netlist.netDriver[n];
    driven[n] = d != VerilogNetlist::Driver::kNone;
    design.constant[n] = d == VerilogNetlist::Driver::kZero || d == VerilogNetlist::Driver::kOne;
  }
  std::vector<int> gateDriver(nets, -1);
  std::vector<std::pair<int, double>> cutLoads;  // net, rise cap; fall cap in the next entry
  std::vector<double> cutCaps;
  std::vector<int> cutNets;
  std::vector<Design::Gate> gates;
  std::vector<int> fanins;
  std::vector<int> readLine;  // per gate fan-in: the line, for undriven nets
  design.gateOfInstance.assign(netlist.instances.size(), -1);
  std::vector<int> endpointNets;
  std::vector<std::pair<int, const ArcTables*>> startArcs;

  const auto drive = [&](int net, int line) {
    if (driven[net]) {
      throw fail(
          line,
          "net '" + netlist.netNames[net] + "' is driven twice" +
              (netLine[net] > 0 ? " (also on line " + std::to_string(netLine[net]) + ")" : ""));
    }
    driven[net] = 1;
    netLine[net] = line;
  };

  for (size_t i = 0; i < netlist.instances.size(); ++i) {
    const VerilogNetlist::Instance& instance = netlist.instances[i];
    const Cell* cell = library.Find(instance.cellName);
    if (cell == nullptr) {
      throw fail(instance.line, "cell '" + instance.cellName + "' is in none of the libraries");
    }
    for (const VerilogNetlist::Connection& c : instance.connections) {
      if (cell->FindPin(c.pin) < 0) {
        throw fail(instance.line, "cell '" + cell->name + "' has no pin '" + c.pin + "'");
      }
    }
    if (cell->skip.empty()) {
      const int f = families.familyOfCell.at(cell->name);
      const Family& family = families.families[f];
      Design::Gate gate;
      gate.instance = static_cast<int>(i);
      gate.family = f;
      gate.cell = static_cast<int>(cell - library.cells.data());
      gate.firstFanin = static_cast<int>(fanins.size());
      gate.inputs = family.Inputs();
      gate.output = -1;
      fanins.resize(fanins.size() + family.inputs.size(), -1);
      for (const VerilogNetlist::Connection& c : instance.connections) {
        const int pin = cell->FindPin(c.pin);
        if (pin == cell->output) {
          gate.output = c.net;
          continue;
        }
        const auto position = std::find(family.inputs.begin(), family.inputs.end(), c.pin);
        if (position == family.inputs.end()) continue;  // a pin without a function
        if (c.net < 0) {
          throw fail(instance.line, "input '" + c.pin + "' of '" + instance.name + "' is open");
        }
        fanins[gate.firstFanin + (position - family.inputs.begin())] = c.net;
      }
      for (size_t k = 0; k < family.inputs.size(); ++k) {
        if (fanins[gate.firstFanin + k] < 0) {
          throw fail(instance.line,
                     "input '" + family.inputs[k] + "' of '" + instance.name + "' is open");
        }
      }
      if (gate.output < 0) {  // an open output: a net of its own
        gate.output = nets++;
        driven.push_back(0);
        netLine.push_back(0);
        design.constant.push_back(0);
        gateDriver.push_back(-1);
      }
      drive(gate.output, instance.line);
      gateDriver[gate.output] = static_cast<int>(gates.size());
      design.gateOfInstance[i] = static_cast<int>(gates.size());
      gates.push_back(gate);
      for (size_t k = 0; k < family.inputs.size(); ++k) readLine.push_back(instance.line);
      continue;
    }
    const bool tie = cell->skip.find("tie cell") != std::string::npos;
    if (!cell->sequential && !tie) {
      throw fail(instance.line, "cell '" + cell->name + "' cannot be sized: " + cell->skip);
    }
    for (const VerilogNetlist::Connection& c : instance.connections) {
      if (c.net < 0) continue;
      const Pin& pin = cell->pins[cell->FindPin(c.pin)];
      if (pin.direction == Direction::kOutput || pin.direction == Direction::kInout) {
        drive(c.net, instance.line);
        if (tie) design.constant[c.net] = 1;
        for (const Cell::ClockArc& arc : cell->clockArcs) {
          if (arc.pin == cell->FindPin(c.pin)) startArcs.emplace_back(c.net, &arc.tables);
        }
      } else if (pin.direction == Direction::kInput) {
        cutNets.push_back(c.net);
        cutCaps.push_back(pin.riseCap);
        cutCaps.push_back(pin.fallCap);
        if (!pin.clock) endpointNets.push_back(c.net);
      }
    }
  }
  for (size_t k = 0; k < fanins.size(); ++k) {
    if (!driven[fanins[k]]) {
      throw fail(readLine[k], "net '" +
                                  (fanins[k] < netlist.NetCount() ? netlist.netNames[fanins[k]]
                                                                  : std::string("?")) +
                                  "' is read but never driven");
    }
  }

  design.driver.assign(nets, -1);
  design.endpoint.assign(nets, 0);
  design.fixedLoad.assign(2 * static_cast<size_t>(nets), 0.0);
  for (size_t k = 0; k < cutNets.size(); ++k) {
    design.fixedLoad[2 * cutNets[k]] += cutCaps[2 * k];
    design.fixedLoad[2 * cutNets[k] + 1] += cutCaps[2 * k + 1];
  }
  for (int n : endpointNets) design.endpoint[n] = 1;
  design.startArc.assign(nets, nullptr);
  for (const auto& [net, tables] : startArcs) design.startArc[net] = tables;
  for (int n : netlist.outputs) design.endpoint[n] = 1;

  // Topological order (Kahn), gates in file order where the order is free.
  const int count = static_cast<int>(gates.size());
  std::vector<int> pending(count, 0);
  std::vector<int> start(nets + 1, 0);
  for (int g = 0; g < count; ++g) {
    const int n = families.families[gates[g].family].Inputs();
    for (int k = 0; k < n; ++k) {
      const int net = fanins[gates[g].firstFanin + k];
      ++start[net + 1];
      if (gateDriver[net] >= 0) ++pending[g];
    }
  }
  for (int n = 0; n < nets; ++n) start[n + 1] += start[n];
  std::vector<std::pair<int, int>> sinks(start[nets]);
  {
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int g = 0; g < count; ++g) {
      const int n = families.families[gates[g].family].Inputs();
      for (int k = 0; k < n; ++k) sinks[fill[fanins[gates[g].firstFanin + k]]++] = {g, k};
    }
  }
  std::vector<int> order;
  order.reserve(count);
  for (int g = 0; g < count; ++g) {
    if (pending[g] == 0) order.push_back(g);
  }
  for (size_t head = 0; head < order.size(); ++head) {
    const int out = gates[order[head]].output;
    for (int s = start[out]; s < start[out + 1]; ++s) {
      if (--pending[sinks[s].first] == 0) order.push_back(sinks[s].first);
    }
  }
  if (static_cast<int>(order.size()) != count) {
    int g = 0;
    while (pending[g] == 0) ++g;
    const VerilogNetlist::Instance& instance = netlist.instances[gates[g].instance];
    throw fail(instance.line, "a combinational loop through '" + instance.name + "'");
  }
  // Renumber the gates in that order.
  std::vector<int> position(count);
  for (int k = 0; k < count; ++k) position[order[k]] = k;
  design.gates.resize(count);
  for (int g = 0; g < count; ++g) {
    Design::Gate gate = gates[order[g]];
    const int n = families.families[gate.family].Inputs();
    gate.firstFanin = static_cast<int>(design.fanins.size());
    for (int k = 0; k < n; ++k) design.fanins.push_back(fanins[gates[order[g]].firstFanin + k]);
    design.gates[g] = gate;
    design.gateOfInstance[gate.instance] = g;
    design.driver[gate.output] = g;
  }
  for (auto& sink : sinks) sink.first = position[sink.first];
  design.sinkStart = std::move(start);
  design.sinks = std::move(sinks);
  return design;
}

}  // namespace tambril::liberty
