#ifndef TAMBRIL_TOOLS_IMPORT_NETWORK_H
#define TAMBRIL_TOOLS_IMPORT_NETWORK_H

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/gateTypes.h"
#include "common/lineError.h"

namespace tambril::import {

using tools::GateType;

// A signal while a circuit is built: a node (index >= 0) or a constant.
using Signal = int;
inline constexpr Signal kFalse = -1;
inline constexpr Signal kTrue = -2;
inline bool IsConstant(Signal s) { return s < 0; }
inline Signal Constant(bool value) { return value ? kTrue : kFalse; }

// A fault of the source circuit, tied to a line of its file (0: to none).
using SourceError = tools::LineError;

// What Finish found, for the warning lines.
struct FinishSummary {
  std::vector<std::string> constantOutputs;  // dropped, in output order
  long long removedGates = 0;                // gates that reach no output
};

// A combinational circuit over the library's gate types, built gate by gate in topological
// order (every fan-in exists before its gate), then numbered and written as a TAMBRIL netlist.
//
// Building folds constants: a constant fan-in is taken out of its gate, a gate that becomes
// constant is a constant, and a gate left with one fan-in becomes that fan-in (or its
// complement). Gates wider than `maxInputs` become balanced trees of the same family. Every
// node records an ordering key (SetKey); the written netlist lists nodes by key and, within a
// key, in the order they were made, which keeps the file in the order of its source.
class Network {
 public:
  explicit Network(int maxInputs) : maxInputs_(maxInputs) {}

  void SetKey(int key) { key_ = key; }

  // A primary input, or the output of a cut flip-flop; written as `pri`.
  Signal AddInput(std::string_view name);
  // Stands for a net that nothing drives; an error if anything that reaches an output reads
  // it (at `line`, its first use).
  Signal AddUndefined(std::string_view name, int line);

  // A gate of `type` over `fanins` (INV and BUF take exactly one). Folds constants as above;
  // without a constant fan-in the gate is made as given, even with a single fan-in.
  Signal Gate(GateType type, std::vector<Signal> fanins);
  // The complement of `s`: one shared inverter per node (an inverter's complement is its
  // input when the inverter was made here).
  Signal Not(Signal s);
  // An inverter or buffer that the source has: a gate of its own, which later complements of
  // `s` share.
  Signal SourceInverter(Signal s);
  Signal SourceBuffer(Signal s);

  // Gives the node of `s` the source net name `name` unless it has one already.
  void Name(Signal s, std::string_view name);
  // A primary output computing `s`. An output name given twice is one output. An output
  // whose node is an input, or already an output of another name, gets a BUF of its own.
  void AddOutput(std::string_view name, Signal s, int line);

  // Binds the outputs to nodes, drops constant ones, removes what reaches no output, checks
  // that nothing left reads an undefined net, and numbers the nodes. Throws SourceError.
  FinishSummary Finish();

  // After Finish: the netlist text and the names file: one "ID<TAB>NAME" line per named node,
  // then "const0<TAB>NAME" or "const1<TAB>NAME" per output dropped as constant.
  std::string NetlistText() const;
  std::string NamesText() const;

  // After Finish, in node id order (ids 1..NodeCount()), for tests.
  int NodeCount() const { return static_cast<int>(order_.size()); }
  bool IsInputNode(int id) const;
  GateType TypeOf(int id) const;
  std::vector<int> FaninIds(int id) const;
  const std::string* NameOf(int id) const;  // nullptr when unnamed
  bool IsOutputNode(int id) const;

 private:
  enum class Kind : uint8_t { kInput, kGate, kUndefined };
  struct Node {
    int first;  // fan-ins: fanins_[first, first + count)
    int count;
    int key;
    int name = -1;          // into names_
    int inverter = -1;      // the shared inverter of this node
    int invertedFrom = -1;  // for an inverter made by Not: its input
    int line = 0;           // kUndefined: first use
    GateType type = GateType::kBuf;
    Kind kind;
    bool output = false;
  };
  struct Output {
    int name;
    Signal signal;
    int line;
  };

  int Make(Kind kind, GateType type, const Signal* fanins, int count);
  Signal Split(GateType type, std::vector<Signal>& fanins);

  int maxInputs_;
  int key_ = 0;
  std::vector<Node> nodes_;
  std::vector<Signal> fanins_;
  std::vector<std::string> names_;
  std::vector<Output> outputs_;
  std::unordered_map<std::string, int> outputByName_;
  std::vector<const Output*> constant_;  // outputs dropped as constant, after Finish
  std::vector<int> order_;               // node index of each id - 1, after Finish
  std::vector<int> id_;                  // id of each node, 0 when removed, after Finish
};

}  // namespace tambril::import

#endif
