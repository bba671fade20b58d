#ifndef TAMBRIL_TOOLS_IMPORT_SOURCE_H
#define TAMBRIL_TOOLS_IMPORT_SOURCE_H

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "import/network.h"

namespace tambril::import {

// The functions a source definition can have besides library gates and covers: the Yosys
// internal cells that are not a single library gate.
enum class Cell : uint8_t { kAndNot, kOrNot, kMux, kNmux, kAoi3, kOai3, kAoi4, kOai4 };

// A circuit as a front end reads it: named nets, each driven by a primary input, a cut
// flip-flop, a constant or one definition; outputs that name the nets they compute.
// Definitions may use nets before the line that defines them. Net and output names point
// into text that the front end keeps alive until the circuit is mapped.
struct Source {
  enum class Driver : uint8_t { kNone, kInput, kFlop, kFalse, kTrue, kDefinition };
  enum class Kind : uint8_t { kGate, kAndOfLiterals, kCover, kCell };

  struct Net {
    std::string_view name;  // empty: unnamed (an AIGER variable)
    Driver driver = Driver::kNone;
    int definition = -1;  // kDefinition: index in definitions
    int line = 0;         // where it is defined
    int firstUse = 0;     // first line that reads it, 0 when none
  };
  // A reference to a net, maybe complemented: 2 * net + complement.
  using Literal = int;
  struct Definition {
    Kind kind;
    uint8_t function;  // kGate: a GateType; kCell: a Cell
    bool offSet;       // kCover: the rows list where the output is 0
    int output;        // the net defined
    int line;
    int first;  // fan-ins: literals[first, first + count)
    int count;
    int cubes;  // kCover: rows in cubeText[cubeStart, cubeStart + cubes * count)
    size_t cubeStart;
  };
  struct Output {
    std::string_view name;
    Literal literal;
    int line;
  };

  // Finds or adds the net `name`, a use at `line` (0: not a use).
  int Intern(std::string_view name, int line);
  int AddNet(std::string_view name);  // always a new net
  // Marks `net` as driven; throws SourceError when something drives it already.
  void Drive(int net, Driver driver, int line);
  // Adds a definition of `output` over the literals in `fanins` (copied).
  int Define(Kind kind, uint8_t function, int output, const std::vector<Literal>& fanins, int line);

  std::vector<Net> nets;
  std::vector<Definition> definitions;  // in file order
  std::vector<Literal> literals;
  std::string cubeText;                // the input columns of every cover's rows, '0', '1' or '-'
  std::vector<int> inputs;             // primary inputs, in file order
  std::vector<int> flops;              // nets of the cut flip-flop outputs, in file order
  std::vector<Output> outputs;         // primary outputs, then the flip-flops' other pins
  std::deque<std::string> ownedNames;  // names made up by the front end (stable storage)
  bool aigerVariables = false;  // nets are AIGER variables: unnamed ones are shown as literals
  std::unordered_map<std::string_view, int> byName;
};

// Maps a source circuit onto the library's gate types in `network`: definitions in
// topological order, constants folded, flip-flop outputs and primary inputs as inputs.
// Throws SourceError for a combinational cycle (at the line of its first definition in the
// file).
void MapSource(Source& source, Network& network);

}  // namespace tambril::import

#endif
