#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "import/source.h"

namespace tambril::import {

int Source::Intern(std::string_view name, int line) {
  auto found = byName.find(name);
  int net;
  if (found != byName.end()) {
    net = found->second;
  } else {
    net = AddNet(name);
    byName.emplace(name, net);
  }
  if (line > 0 && nets[net].firstUse == 0) nets[net].firstUse = line;
  return net;
}

int Source::AddNet(std::string_view name) {
  nets.push_back({});
  nets.back().name = name;
  return static_cast<int>(nets.size()) - 1;
}

void Source::Drive(int net, Driver driver, int line) {
  Net& n = nets[net];
  if (n.driver != Driver::kNone) {
    throw SourceError{line, "signal '" + std::string(n.name) + "' defined twice (first at line " +
                                std::to_string(n.line) + ")"};
  }
  n.driver = driver;
  n.line = line;
}

int Source::Define(Kind kind, uint8_t function, int output, const std::vector<Literal>& fanins,
                   int line) {
  Drive(output, Driver::kDefinition, line);
  const int index = static_cast<int>(definitions.size());
  nets[output].definition = index;
  definitions.push_back({kind, function, false, output, line, static_cast<int>(literals.size()),
                         static_cast<int>(fanins.size()), 0, 0});
  literals.insert(literals.end(), fanins.begin(), fanins.end());
  return index;
}

namespace {

// AND of literals (each a signal, complemented where `negative`), complemented when
// `negateOutput`. All-complemented literals take the other family instead of inverters:
// AND(!a, !b) = NOR(a, b), NAND(!a, !b) = OR(a, b).
Signal AndOfLiterals(Network& network, std::vector<Signal> vars, const std::vector<bool>& negative,
                     bool negateOutput) {
  bool allNegative = true;
  for (size_t j = 0; j < vars.size(); ++j) {
    if (IsConstant(vars[j]) && negative[j]) vars[j] = network.Not(vars[j]);
    if (!IsConstant(vars[j]) && !negative[j]) allNegative = false;
  }
  if (allNegative) {
    // De Morgan; the constants among the fan-ins are complemented with the rest.
    for (Signal& s : vars) {
      if (IsConstant(s)) s = network.Not(s);
    }
    return network.Gate(negateOutput ? GateType::kOr : GateType::kNor, std::move(vars));
  }
  for (size_t j = 0; j < vars.size(); ++j) {
    if (!IsConstant(vars[j]) && negative[j]) vars[j] = network.Not(vars[j]);
  }
  return network.Gate(negateOutput ? GateType::kNand : GateType::kAnd, std::move(vars));
}

// One row's literals as an AND over the variables, complemented when `negateOutput`.
Signal CubeTerm(Network& network, const std::vector<Signal>& vars, std::string_view row,
                bool negateOutput) {
  std::vector<Signal> used;
  std::vector<bool> negative;
  for (size_t j = 0; j < row.size(); ++j) {
    if (row[j] == '-') continue;
    used.push_back(vars[j]);
    negative.push_back(row[j] == '0');
  }
  if (used.size() == 1) {
    const bool complement = negative[0] != negateOutput;
    return complement ? network.Not(used[0]) : used[0];
  }
  return AndOfLiterals(network, std::move(used), negative, negateOutput);
}

constexpr int kTableVariables = 6;

// Truth table masks of variable j among k: bit m is set where bit j of m is.
uint64_t VariableMask(int j) {
  static constexpr uint64_t kMasks[kTableVariables] = {
      0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull, 0xF0F0F0F0F0F0F0F0ull,
      0xFF00FF00FF00FF00ull, 0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};
  return kMasks[j];
}

uint64_t FullMask(int k) { return k == kTableVariables ? ~0ull : (1ull << (1u << k)) - 1; }

// A function of at most six variables, recognised exactly: constant, literal, AND or OR of
// literals, XOR or XNOR of its support; otherwise nullptr-like kUnset.
constexpr Signal kUnrecognised = INT_MIN;

Signal MapTable(Network& network, const std::vector<Signal>& vars, uint64_t table) {
  const int k = static_cast<int>(vars.size());
  const uint64_t full = FullMask(k);
  table &= full;
  if (table == 0) return kFalse;
  if (table == full) return kTrue;
  // Restrict to the variables the function depends on.
  std::vector<int> support;
  for (int j = 0; j < k; ++j) {
    const unsigned stride = 1u << j;
    if (((table & VariableMask(j)) >> stride) != (table & ~VariableMask(j) & full)) {
      support.push_back(j);
    }
  }
  const int s = static_cast<int>(support.size());
  uint64_t reduced = 0;
  for (unsigned m = 0; m < (1u << s); ++m) {
    unsigned old = 0;
    for (int j = 0; j < s; ++j) old |= ((m >> j) & 1u) << support[j];
    reduced |= ((table >> old) & 1ull) << m;
  }
  std::vector<Signal> used;
  for (int j : support) used.push_back(vars[j]);
  if (s == 1) {
    return reduced == 2 ? network.SourceBuffer(used[0]) : network.SourceInverter(used[0]);
  }
  const int ones = __builtin_popcountll(reduced);
  const unsigned minterms = 1u << s;
  if (ones == 1 || ones == static_cast<int>(minterms) - 1) {
    // One on-set minterm: the AND of the literals true there; one off-set minterm: their NAND.
    unsigned m = 0;
    while (((reduced >> m) & 1ull) != (ones == 1 ? 1ull : 0ull)) ++m;
    std::vector<bool> negative(s);
    for (int j = 0; j < s; ++j) negative[j] = ((m >> j) & 1u) == 0;
    return AndOfLiterals(network, std::move(used), negative, ones != 1);
  }
  uint64_t parity = 0;
  for (unsigned m = 0; m < minterms; ++m) parity |= uint64_t(__builtin_popcount(m) & 1) << m;
  if (reduced == parity) return network.Gate(GateType::kXor, std::move(used));
  if (reduced == (~parity & FullMask(s))) return network.Gate(GateType::kXnor, std::move(used));
  return kUnrecognised;
}

// The function of one cover over the given fan-in signals; `cubeText` holds `cubes` rows of
// fanins.size() characters.
Signal MapCover(Network& network, const std::vector<Signal>& fanins, std::string_view cubeText,
                int cubes, bool offSet) {
  const size_t n = fanins.size();
  // Constant fan-ins: a row that needs the other value goes, a satisfied literal becomes '-'.
  std::vector<Signal> vars;
  std::vector<size_t> column;
  for (size_t j = 0; j < n; ++j) {
    if (!IsConstant(fanins[j])) {
      vars.push_back(fanins[j]);
      column.push_back(j);
    }
  }
  const size_t k = vars.size();
  std::string rows;
  int kept = 0;
  bool tautology = false;
  for (int c = 0; c < cubes; ++c) {
    const std::string_view row = cubeText.substr(static_cast<size_t>(c) * n, n);
    bool contradicted = false;
    for (size_t j = 0; j < n && !contradicted; ++j) {
      if (IsConstant(fanins[j]) && row[j] != '-')
        contradicted = (row[j] == '1') != (fanins[j] == kTrue);
    }
    if (contradicted) continue;
    const size_t start = rows.size();
    for (size_t j : column) rows += row[j];
    if (rows.find_first_not_of('-', start) == std::string::npos) tautology = true;
    ++kept;
  }
  if (kept == 0 || tautology) return Constant(tautology != offSet);

  if (k <= kTableVariables) {
    uint64_t table = 0;
    for (int c = 0; c < kept; ++c) {
      uint64_t term = FullMask(static_cast<int>(k));
      for (size_t j = 0; j < k; ++j) {
        const char literal = rows[c * k + j];
        if (literal == '1') term &= VariableMask(static_cast<int>(j));
        if (literal == '0') term &= ~VariableMask(static_cast<int>(j));
      }
      table |= term;
    }
    const Signal recognised = MapTable(network, vars, offSet ? ~table : table);
    if (recognised != kUnrecognised) return recognised;
  }

  const auto row = [&](int c) { return std::string_view(rows).substr(c * k, k); };
  if (kept == 1) return CubeTerm(network, vars, row(0), offSet);
  // Every row one literal: an OR of those literals, which is a NAND of their complements
  // (an off-set: a NOR, the AND of the complements).
  bool singles = true;
  std::vector<Signal> used;
  std::vector<bool> negative;
  for (int c = 0; c < kept && singles; ++c) {
    const std::string_view r = row(c);
    const size_t at = r.find_first_not_of('-');
    singles = r.find_first_not_of('-', at + 1) == std::string_view::npos;
    used.push_back(vars[at]);
    negative.push_back(r[at] == '1');
  }
  if (singles) return AndOfLiterals(network, std::move(used), negative, !offSet);
  // Otherwise NAND-NAND: a NAND per row, then a NAND of the rows (an AND for an off-set).
  std::vector<Signal> terms;
  for (int c = 0; c < kept; ++c) terms.push_back(CubeTerm(network, vars, row(c), true));
  return network.Gate(offSet ? GateType::kAnd : GateType::kNand, std::move(terms));
}

Signal MapCell(Network& network, Cell cell, const std::vector<Signal>& in) {
  const auto And2 = [&](Signal a, Signal b, bool na, bool nb, bool negate) {
    return AndOfLiterals(network, {a, b}, {na, nb}, negate);
  };
  switch (cell) {
    case Cell::kAndNot:  // A & !B
      return And2(in[0], in[1], false, true, false);
    case Cell::kOrNot:  // A | !B = NAND(!A, B)
      return And2(in[0], in[1], true, false, true);
    case Cell::kMux:  // S ? B : A
    case Cell::kNmux: {
      const Signal a = And2(in[0], in[2], false, true, true);
      const Signal b = And2(in[1], in[2], false, false, true);
      return network.Gate(cell == Cell::kMux ? GateType::kNand : GateType::kAnd, {a, b});
    }
    case Cell::kAoi3:  // !((A & B) | C)
      return network.Gate(GateType::kNor, {network.Gate(GateType::kAnd, {in[0], in[1]}), in[2]});
    case Cell::kOai3:  // !((A | B) & C)
      return network.Gate(GateType::kNand, {network.Gate(GateType::kOr, {in[0], in[1]}), in[2]});
    case Cell::kAoi4:  // !((A & B) | (C & D))
      return network.Gate(GateType::kNor, {network.Gate(GateType::kAnd, {in[0], in[1]}),
                                           network.Gate(GateType::kAnd, {in[2], in[3]})});
    case Cell::kOai4:  // !((A | B) & (C | D))
      return network.Gate(GateType::kNand, {network.Gate(GateType::kOr, {in[0], in[1]}),
                                            network.Gate(GateType::kOr, {in[2], in[3]})});
  }
  return kFalse;
}

std::string Label(const Source& source, int net) {
  if (!source.nets[net].name.empty()) return std::string(source.nets[net].name);
  return (source.aigerVariables ? "literal " : "net ") +
         std::to_string(source.aigerVariables ? 2 * net : net);
}

// Kahn's algorithm over the definitions; on a cycle, walks back from a left-over definition
// along left-over drivers until one repeats, and reports that cycle.
std::vector<int> TopologicalOrder(const Source& source) {
  const size_t n = source.definitions.size();
  const auto driverOf = [&source](Source::Literal literal) {
    const Source::Net& net = source.nets[literal >> 1];
    return net.driver == Source::Driver::kDefinition ? net.definition : -1;
  };
  std::vector<int> pending(n, 0);
  std::vector<size_t> start(n + 1, 0);
  for (size_t d = 0; d < n; ++d) {
    const Source::Definition& def = source.definitions[d];
    for (int k = 0; k < def.count; ++k) {
      const int driver = driverOf(source.literals[def.first + k]);
      if (driver >= 0) {
        ++pending[d];
        ++start[driver + 1];
      }
    }
  }
  for (size_t d = 0; d < n; ++d) start[d + 1] += start[d];
  std::vector<int> receivers(start[n]);
  std::vector<size_t> fill(start.begin(), start.end() - 1);
  for (size_t d = 0; d < n; ++d) {
    const Source::Definition& def = source.definitions[d];
    for (int k = 0; k < def.count; ++k) {
      const int driver = driverOf(source.literals[def.first + k]);
      if (driver >= 0) receivers[fill[driver]++] = static_cast<int>(d);
    }
  }
  std::vector<int> order;
  order.reserve(n);
  for (size_t d = 0; d < n; ++d) {
    if (pending[d] == 0) order.push_back(static_cast<int>(d));
  }
  for (size_t head = 0; head < order.size(); ++head) {
    const int d = order[head];
    for (size_t r = start[d]; r < start[d + 1]; ++r) {
      if (--pending[receivers[r]] == 0) order.push_back(receivers[r]);
    }
  }
  if (order.size() == n) return order;

  int current = 0;
  while (pending[current] == 0) ++current;
  std::vector<int> stepOf(n, -1);
  std::vector<int> path;  // receiver before driver
  while (stepOf[current] < 0) {
    stepOf[current] = static_cast<int>(path.size());
    path.push_back(current);
    const Source::Definition& def = source.definitions[current];
    for (int k = 0; k < def.count; ++k) {
      const int driver = driverOf(source.literals[def.first + k]);
      if (driver >= 0 && pending[driver] > 0) {
        current = driver;
        break;
      }
    }
  }
  // Driver before receiver, starting at the definition that comes first in the file.
  std::vector<int> cycle(path.rbegin(), path.rend() - stepOf[current]);
  size_t first = 0;
  for (size_t i = 1; i < cycle.size(); ++i) {
    if (source.definitions[cycle[i]].line < source.definitions[cycle[first]].line) first = i;
  }
  constexpr size_t kShown = 8;
  const auto label = [&](size_t i) {
    return Label(source, source.definitions[cycle[(first + i) % cycle.size()]].output);
  };
  std::string text = "combinational cycle: ";
  for (size_t i = 0; i < cycle.size() && i < kShown; ++i) text += label(i) + " -> ";
  if (cycle.size() > kShown) text += "... -> ";
  text += label(0);
  if (cycle.size() > kShown) text += " (" + std::to_string(cycle.size()) + " gates)";
  throw SourceError{source.definitions[cycle[first]].line, text};
}

}  // namespace

void MapSource(Source& source, Network& network) {
  const std::vector<int> order = TopologicalOrder(source);
  constexpr Signal kUnset = INT_MIN;
  std::vector<Signal> signal(source.nets.size(), kUnset);
  network.SetKey(0);
  for (int net : source.inputs) signal[net] = network.AddInput(source.nets[net].name);
  network.SetKey(1);
  for (int net : source.flops) signal[net] = network.AddInput(source.nets[net].name);
  for (size_t net = 0; net < source.nets.size(); ++net) {
    if (source.nets[net].driver == Source::Driver::kFalse) signal[net] = kFalse;
    if (source.nets[net].driver == Source::Driver::kTrue) signal[net] = kTrue;
  }
  const auto read = [&](Source::Literal literal) {
    const int net = literal >> 1;
    if (signal[net] == kUnset) {
      signal[net] = network.AddUndefined(Label(source, net), source.nets[net].firstUse);
    }
    return (literal & 1) ? network.Not(signal[net]) : signal[net];
  };

  std::vector<Signal> fanins;
  std::vector<bool> negative;
  for (int d : order) {
    const Source::Definition& def = source.definitions[d];
    network.SetKey(2 + d);
    fanins.clear();
    negative.clear();
    for (int k = 0; k < def.count; ++k) {
      const Source::Literal literal = source.literals[def.first + k];
      if (def.kind == Source::Kind::kAndOfLiterals) {
        fanins.push_back(read(literal & ~1));
        negative.push_back(literal & 1);
      } else {
        fanins.push_back(read(literal));
      }
    }
    Signal result = kFalse;
    switch (def.kind) {
      case Source::Kind::kGate:
        result = network.Gate(static_cast<GateType>(def.function), fanins);
        break;
      case Source::Kind::kAndOfLiterals:
        result = AndOfLiterals(network, fanins, negative, false);
        break;
      case Source::Kind::kCover:
        result = MapCover(network, fanins,
                          std::string_view(source.cubeText)
                              .substr(def.cubeStart, static_cast<size_t>(def.cubes) * def.count),
                          def.cubes, def.offSet);
        break;
      case Source::Kind::kCell:
        result = MapCell(network, static_cast<Cell>(def.function), fanins);
        break;
    }
    signal[def.output] = result;
    network.Name(result, source.nets[def.output].name);
  }
  network.SetKey(2 + static_cast<int>(source.definitions.size()));
  for (const Source::Output& out : source.outputs) {
    network.AddOutput(out.name, read(out.literal), out.line);
  }
}

}  // namespace tambril::import
