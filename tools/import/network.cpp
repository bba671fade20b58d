#include "import/network.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/namesFile.h"
#include "common/netlistWriter.h"

namespace tambril::import {

namespace {

constexpr int kOutputBufferKey = std::numeric_limits<int>::max();

bool IsXorFamily(GateType type) { return type == GateType::kXor || type == GateType::kXnor; }
bool IsOrFamily(GateType type) { return type == GateType::kOr || type == GateType::kNor; }
bool IsInverting(GateType type) {
  return type == GateType::kNand || type == GateType::kNor || type == GateType::kXnor;
}

// The non-inverting gate of a type's family: the inner stages of a split gate.
GateType InnerType(GateType type) {
  if (IsXorFamily(type)) return GateType::kXor;
  return IsOrFamily(type) ? GateType::kOr : GateType::kAnd;
}

}  // namespace

int Network::Make(Kind kind, GateType type, const Signal* fanins, int count) {
  Node node;
  node.first = static_cast<int>(fanins_.size());
  node.count = count;
  node.key = key_;
  node.type = type;
  node.kind = kind;
  fanins_.insert(fanins_.end(), fanins, fanins + count);
  nodes_.push_back(node);
  return static_cast<int>(nodes_.size()) - 1;
}

Signal Network::AddInput(std::string_view name) {
  const int node = Make(Kind::kInput, GateType::kBuf, nullptr, 0);
  Name(node, name);
  return node;
}

Signal Network::AddUndefined(std::string_view name, int line) {
  const int node = Make(Kind::kUndefined, GateType::kBuf, nullptr, 0);
  Name(node, name);
  nodes_[node].line = line;
  return node;
}

Signal Network::Gate(GateType type, std::vector<Signal> fanins) {
  if (type == GateType::kInv) return SourceInverter(fanins.at(0));
  if (type == GateType::kBuf) return SourceBuffer(fanins.at(0));
  if (std::any_of(fanins.begin(), fanins.end(), IsConstant)) {
    // Fold: a controlling constant decides the gate, the others drop out.
    bool invert = IsInverting(type);
    size_t kept = 0;
    for (Signal s : fanins) {
      if (!IsConstant(s)) {
        fanins[kept++] = s;
      } else if (IsXorFamily(type)) {
        invert ^= s == kTrue;
      } else if ((s == kTrue) == IsOrFamily(type)) {
        return Constant(IsOrFamily(type) != IsInverting(type));
      }
    }
    fanins.resize(kept);
    if (fanins.empty()) return Constant(IsOrFamily(type) || IsXorFamily(type) ? invert : !invert);
    if (fanins.size() == 1) return invert ? Not(fanins[0]) : fanins[0];
    if (IsXorFamily(type)) type = invert ? GateType::kXnor : GateType::kXor;
  }
  if (static_cast<int>(fanins.size()) > maxInputs_) return Split(type, fanins);
  return Make(Kind::kGate, type, fanins.data(), static_cast<int>(fanins.size()));
}

// Level by level: each level groups the signals as evenly as possible into the fewest groups
// of at most maxInputs_, so that every path from a fan-in to the root has the same depth.
Signal Network::Split(GateType type, std::vector<Signal>& fanins) {
  const size_t width = static_cast<size_t>(maxInputs_);
  std::vector<Signal> next;
  while (fanins.size() > width) {
    const size_t n = fanins.size();
    const size_t groups = (n + width - 1) / width;
    next.clear();
    size_t start = 0;
    for (size_t g = 0; g < groups; ++g) {
      const size_t size = n / groups + (g < n % groups ? 1 : 0);
      next.push_back(
          size == 1 ? fanins[start]
                    : Make(Kind::kGate, InnerType(type), &fanins[start], static_cast<int>(size)));
      start += size;
    }
    fanins.swap(next);
  }
  return Make(Kind::kGate, type, fanins.data(), static_cast<int>(fanins.size()));
}

Signal Network::Not(Signal s) {
  if (IsConstant(s)) return s == kTrue ? kFalse : kTrue;
  if (nodes_[s].invertedFrom >= 0) return nodes_[s].invertedFrom;
  if (nodes_[s].inverter < 0) {
    const int inverter = Make(Kind::kGate, GateType::kInv, &s, 1);
    nodes_[s].inverter = inverter;
    nodes_[inverter].invertedFrom = s;
  }
  return nodes_[s].inverter;
}

Signal Network::SourceInverter(Signal s) {
  if (IsConstant(s)) return Not(s);
  const int inverter = Make(Kind::kGate, GateType::kInv, &s, 1);
  if (nodes_[s].inverter < 0) nodes_[s].inverter = inverter;
  nodes_[inverter].invertedFrom = s;
  return inverter;
}

Signal Network::SourceBuffer(Signal s) {
  if (IsConstant(s)) return s;
  return Make(Kind::kGate, GateType::kBuf, &s, 1);
}

void Network::Name(Signal s, std::string_view name) {
  if (IsConstant(s) || nodes_[s].name >= 0 || name.empty()) return;
  nodes_[s].name = static_cast<int>(names_.size());
  names_.emplace_back(name);
}

void Network::AddOutput(std::string_view name, Signal s, int line) {
  const auto [it, added] =
      outputByName_.emplace(std::string(name), static_cast<int>(outputs_.size()));
  if (!added) return;
  names_.push_back(it->first);
  outputs_.push_back({static_cast<int>(names_.size()) - 1, s, line});
}

FinishSummary Network::Finish() {
  FinishSummary summary;
  int outputCount = 0;
  for (const Output& out : outputs_) {
    if (IsConstant(out.signal)) {
      summary.constantOutputs.push_back(names_[out.name]);
      constant_.push_back(&out);
      continue;
    }
    int node = out.signal;
    if (nodes_[node].kind != Kind::kGate || nodes_[node].output) {
      key_ = kOutputBufferKey;
      node = Make(Kind::kGate, GateType::kBuf, &out.signal, 1);
    }
    nodes_[node].output = true;
    nodes_[node].name = out.name;
    ++outputCount;
  }
  if (outputCount == 0) {
    if (summary.constantOutputs.empty()) throw SourceError{0, "circuit has no outputs"};
    std::string list;
    for (const std::string& name : summary.constantOutputs)
      list += (list.empty() ? "" : ", ") + name;
    throw SourceError{0, "every output is constant: " + list};
  }

  // Nodes are made after their fan-ins, so one backward sweep finds what reaches an output.
  const int n = static_cast<int>(nodes_.size());
  std::vector<char> live(n, 0);
  const Node* undefined = nullptr;
  for (int i = n - 1; i >= 0; --i) {
    const Node& node = nodes_[i];
    if (node.output) live[i] = 1;
    if (!live[i]) {
      if (node.kind == Kind::kGate) ++summary.removedGates;
      continue;
    }
    if (node.kind == Kind::kUndefined && (undefined == nullptr || node.line < undefined->line)) {
      undefined = &node;
    }
    for (int k = 0; k < node.count; ++k) live[fanins_[node.first + k]] = 1;
  }
  if (undefined != nullptr) {
    throw SourceError{undefined->line,
                      "signal '" + names_[undefined->name] + "' is used but never defined"};
  }

  order_.clear();
  for (int i = 0; i < n; ++i) {
    if (nodes_[i].kind == Kind::kInput || (nodes_[i].kind == Kind::kGate && live[i])) {
      order_.push_back(i);
    }
  }
  std::stable_sort(order_.begin(), order_.end(),
                   [this](int a, int b) { return nodes_[a].key < nodes_[b].key; });
  id_.assign(n, 0);
  for (size_t k = 0; k < order_.size(); ++k) id_[order_[k]] = static_cast<int>(k) + 1;
  return summary;
}

std::string Network::NetlistText() const {
  std::vector<uint32_t> fanout(nodes_.size(), 0);
  uint64_t gates = 0, outputs = 0;
  for (int i : order_) {
    const Node& node = nodes_[i];
    for (int k = 0; k < node.count; ++k) ++fanout[fanins_[node.first + k]];
    gates += node.kind == Kind::kGate;
    outputs += node.output;
  }
  std::string out;
  out.reserve(fanins_.size() * 10 + order_.size() * 16 + 64);
  tools::NetlistWriter writer([&out](std::string_view chunk) { out.append(chunk); });
  writer.Header(gates, outputs, order_.size());
  std::vector<uint32_t> drivers;
  for (int i : order_) {
    const Node& node = nodes_[i];
    if (node.kind == Kind::kInput) {
      writer.Input(fanout[i]);
      continue;
    }
    drivers.clear();
    for (int k = 0; k < node.count; ++k) drivers.push_back(id_[fanins_[node.first + k]]);
    writer.Gate(node.type, node.output, fanout[i], drivers.data(), drivers.size());
  }
  writer.Finish();
  return out;
}

std::string Network::NamesText() const {
  std::string out;
  for (size_t k = 0; k < order_.size(); ++k) {
    const Node& node = nodes_[order_[k]];
    if (node.name >= 0) tools::AppendNodeName(out, k + 1, names_[node.name]);
  }
  for (const Output* constant : constant_) {
    tools::AppendConstantOutput(out, constant->signal == kTrue, names_[constant->name]);
  }
  return out;
}

bool Network::IsInputNode(int id) const { return nodes_[order_[id - 1]].kind == Kind::kInput; }
GateType Network::TypeOf(int id) const { return nodes_[order_[id - 1]].type; }
bool Network::IsOutputNode(int id) const { return nodes_[order_[id - 1]].output; }

std::vector<int> Network::FaninIds(int id) const {
  const Node& node = nodes_[order_[id - 1]];
  std::vector<int> ids;
  for (int k = 0; k < node.count; ++k) ids.push_back(id_[fanins_[node.first + k]]);
  return ids;
}

const std::string* Network::NameOf(int id) const {
  const Node& node = nodes_[order_[id - 1]];
  return node.name < 0 ? nullptr : &names_[node.name];
}

}  // namespace tambril::import
