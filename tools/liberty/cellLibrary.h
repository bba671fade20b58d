#ifndef TAMBRIL_TOOLS_LIBERTY_CELLLIBRARY_H
#define TAMBRIL_TOOLS_LIBERTY_CELLLIBRARY_H

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "libertyParser.h"

// The cells of one or more Liberty files: pins, logic function, area, pin capacitances and
// the non-linear delay tables, in SI units (seconds, farads, square metres).
namespace tambril::liberty {

// A delay or transition table over the input transition (slew) and the output load.
struct Table {
  std::vector<double> slew;    // seconds, ascending; one point when the table ignores slew
  std::vector<double> load;    // farads, ascending; one point when the table ignores load
  std::vector<double> values;  // seconds, slew.size() x load.size(), row by row

  // Bilinear interpolation, extended linearly beyond the first and last points.
  double Lookup(double slew, double load) const;
};

enum class Sense : uint8_t { kPositive, kNegative, kNon };

// One timing group: delay and output transition for a rising and for a falling output.
struct ArcTables {
  Sense sense = Sense::kNon;
  Table cellRise, cellFall, riseTransition, fallTransition;
};

// The timing of one input to the output: every timing group of the input (a library may give
// several, each under its own condition on the other inputs); timers take the worst.
struct Arc {
  int input = 0;  // index into Cell::pins
  std::vector<ArcTables> variants;
  // The variants of one sense on the same indices merged into one, point by point the worst:
  // a quicker, slightly pessimistic stand-in for estimates.
  std::vector<ArcTables> merged;
};

enum class Direction : uint8_t { kInput, kOutput, kInout, kInternal };

struct Pin {
  std::string name;
  Direction direction = Direction::kInput;
  double capacitance = 0;  // farads: `capacitance`
  double riseCap = 0;      // `rise_capacitance`, else `capacitance`
  double fallCap = 0;      // `fall_capacitance`, else `capacitance`
  bool clock = false;
  std::string function;  // outputs: the function as written
};

// Truth table of a function of n inputs: bit r is the value when input i is (r >> i) & 1;
// max(1, 2^n / 64) words, the bits beyond 2^n clear.
using TruthTable = std::vector<uint64_t>;

struct Cell {
  std::string name;
  std::string file;
  int line = 0;
  double area = 0;        // square metres (the library's area is read as square micrometres)
  std::vector<Pin> pins;  // in file order
  bool sequential = false;
  // For a cell with one output that TAMBRIL can size; empty otherwise.
  std::vector<int> inputs;  // indices into pins, in file order
  int output = -1;          // index into pins
  TruthTable function;      // over `inputs`
  std::vector<Arc> arcs;    // one per input, in the order of `inputs`
  // A sequential cell's clock-to-output timing: the first edge-triggered timing group of each
  // output pin that has one.
  struct ClockArc {
    int pin = 0;
    ArcTables tables;
  };
  std::vector<ClockArc> clockArcs;
  // Why TAMBRIL cannot size this cell (several outputs, sequential, a tie cell, ...); empty
  // when it can.
  std::string skip;

  int FindPin(std::string_view name) const;  // -1 when there is none
};

struct CellLibrary {
  std::vector<Cell> cells;  // in file order, the files in the order given
  std::unordered_map<std::string, int> byName;

  const Cell* Find(std::string_view name) const;
};

// Reads the cells of parsed Liberty files. Throws FormatError ("PROGRAM: FILE:LINE: message")
// for what the files get wrong: unknown units, a table whose values do not match its indices
// or template, a function that does not parse, a cell defined twice.
CellLibrary ReadCells(const std::vector<Document>& documents, const std::string& program);

// Reads and parses the files, then their cells (the same errors, and a FileError line when a
// file cannot be opened).
CellLibrary ReadLibertyFiles(const std::vector<std::string>& paths, const std::string& program);

// Parses a Liberty function over `inputs` into a truth table: names, 0 and 1, `!` and `'`
// (complement), `^` (exclusive or), `*`, `&` or juxtaposition (and), `+` and `|` (or), with
// parentheses. Returns false, with `error` set, when it does not parse or names another pin.
bool ParseFunction(std::string_view text, const std::vector<std::string>& inputs, TruthTable& table,
                   std::string& error);

// The truth table of a function of `n` inputs that is 0 everywhere, for building.
TruthTable EmptyTable(int n);
bool Evaluate(const TruthTable& table, uint32_t row);

}  // namespace tambril::liberty

#endif
