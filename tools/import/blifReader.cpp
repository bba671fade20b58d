#include <string>
#include <unordered_set>
#include <vector>

#include "import/readers.h"
#include "io/text.h"

namespace tambril::import {
namespace {

constexpr Separators kBlanks(" \t\r\v\f");

bool IsSpace(char c) { return kBlanks(c); }

void SplitWords(std::string_view line, std::vector<std::string_view>& words) {
  words.clear();
  Tokenizer tokens(line, kBlanks);
  for (std::string_view word; tokens.Next(word);) words.push_back(word);
}

// The logical lines of a BLIF file: comments removed, a line ending in '\' joined with the
// next; each numbered by its first physical line.
class LogicalLines {
 public:
  explicit LogicalLines(std::string_view text) : rest_(text) {}
  bool Next(std::vector<std::string_view>& words, int& line) {
    std::vector<std::string_view> part;
    words.clear();
    line = 0;
    while (!rest_.empty()) {
      const size_t end = rest_.find('\n');
      std::string_view physical = rest_.substr(0, end);
      rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
      ++number_;
      if (line == 0) line = number_;
      physical = physical.substr(0, physical.find('#'));
      while (!physical.empty() && IsSpace(physical.back())) physical.remove_suffix(1);
      const bool continued = !physical.empty() && physical.back() == '\\';
      if (continued) physical.remove_suffix(1);
      SplitWords(physical, part);
      words.insert(words.end(), part.begin(), part.end());
      if (continued) continue;
      if (!words.empty()) return true;
      line = 0;
    }
    return !words.empty();
  }

 private:
  std::string_view rest_;
  int number_ = 0;
};

struct CellInfo {
  std::string_view name;
  Source::Kind kind;
  uint8_t function;
  std::string_view pins;  // input pin names in fan-in order; the output is Y
};

constexpr CellInfo kCells[] = {
    {"$_BUF_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kBuf), "A"},
    {"$_NOT_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kInv), "A"},
    {"$_AND_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kAnd), "AB"},
    {"$_NAND_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kNand), "AB"},
    {"$_OR_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kOr), "AB"},
    {"$_NOR_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kNor), "AB"},
    {"$_XOR_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kXor), "AB"},
    {"$_XNOR_", Source::Kind::kGate, static_cast<uint8_t>(GateType::kXnor), "AB"},
    {"$_ANDNOT_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kAndNot), "AB"},
    {"$_ORNOT_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kOrNot), "AB"},
    {"$_MUX_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kMux), "ABS"},
    {"$_NMUX_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kNmux), "ABS"},
    {"$_AOI3_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kAoi3), "ABC"},
    {"$_OAI3_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kOai3), "ABC"},
    {"$_AOI4_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kAoi4), "ABCD"},
    {"$_OAI4_", Source::Kind::kCell, static_cast<uint8_t>(Cell::kOai4), "ABCD"},
};

// Yosys flip-flop cells: Q is the output, C the clock; every other pin is cut as an output.
bool IsFlopCell(std::string_view type) {
  for (std::string_view prefix : {"$_FF_", "$_DFF_", "$_DFFE_", "$_DFFSR_", "$_DFFSRE_", "$_SDFF_",
                                  "$_SDFFE_", "$_SDFFCE_", "$_ALDFF_", "$_ALDFFE_"}) {
    if (type.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

// Directives that carry nothing for a combinational netlist (timing hints, attributes).
bool IsIgnored(std::string_view directive) {
  for (std::string_view d : {".attr", ".param", ".cname", ".area", ".delay", ".wire_load_slope",
                             ".input_arrival", ".output_required", ".input_drive", ".output_load",
                             ".max_input_load", ".clock", ".clock_event"}) {
    if (directive == d) return true;
  }
  return directive.substr(0, 9) == ".default_";
}

struct Pending {
  std::string_view type;
  int line;
};

}  // namespace

void ReadBlif(std::string_view text, Source& source) {
  LogicalLines lines(text);
  std::vector<std::string_view> w;
  std::vector<Source::Literal> fanins;
  std::vector<Source::Output> pins;  // the flip-flops' cut pins, after the outputs
  std::vector<Pending> unknownCells;
  std::unordered_set<std::string_view> models;
  int line = 0;
  int cover = -1;  // the definition whose rows follow
  bool seenModel = false, ended = false, exdc = false;
  while (lines.Next(w, line)) {
    const std::string_view directive = w[0];
    if (directive[0] != '.') {
      if (ended || exdc) continue;
      if (cover < 0) throw SourceError{line, "cover row outside a .names cover"};
      Source::Definition& def = source.definitions[cover];
      const size_t n = static_cast<size_t>(def.count);
      const std::string_view plane = n == 0 ? std::string_view() : w[0];
      if (w.size() != (n == 0 ? 1u : 2u) || plane.size() != n ||
          plane.find_first_not_of("01-") != std::string_view::npos ||
          (w.back() != "0" && w.back() != "1")) {
        throw SourceError{line, "malformed cover row, expected " + std::to_string(n) +
                                    " of 0, 1, - and then 0 or 1"};
      }
      const bool offSet = w.back() == "0";
      if (def.cubes > 0 && offSet != def.offSet) {
        throw SourceError{line, "cover mixes rows for output 1 and output 0"};
      }
      def.offSet = offSet;
      source.cubeText.append(plane);
      ++def.cubes;
      continue;
    }
    cover = -1;
    if (directive == ".model") {
      if (w.size() >= 2) models.insert(w[1]);
      if (seenModel) ended = true;
      seenModel = true;
      continue;
    }
    if (directive == ".end") {
      ended = true;
      continue;
    }
    if (ended) continue;
    if (directive == ".exdc") exdc = true;
    if (exdc || IsIgnored(directive)) continue;
    if (directive == ".inputs") {
      for (size_t i = 1; i < w.size(); ++i) {
        const int net = source.Intern(w[i], 0);
        source.Drive(net, Source::Driver::kInput, line);
        source.inputs.push_back(net);
      }
    } else if (directive == ".outputs") {
      for (size_t i = 1; i < w.size(); ++i) {
        source.outputs.push_back({w[i], 2 * source.Intern(w[i], line), line});
      }
    } else if (directive == ".names") {
      if (w.size() < 2) throw SourceError{line, ".names without an output"};
      fanins.clear();
      for (size_t i = 1; i + 1 < w.size(); ++i) fanins.push_back(2 * source.Intern(w[i], line));
      const int out = source.Intern(w.back(), 0);
      cover = source.Define(Source::Kind::kCover, 0, out, fanins, line);
      source.definitions[cover].cubeStart = source.cubeText.size();
    } else if (directive == ".latch") {
      if (w.size() < 3 || w.size() > 6) {
        throw SourceError{line,
                          "malformed .latch, expected '.latch input output [type control] [init]'"};
      }
      const int q = source.Intern(w[2], 0);
      source.Drive(q, Source::Driver::kFlop, line);
      source.flops.push_back(q);
      pins.push_back({w[1], 2 * source.Intern(w[1], line), line});
    } else if (directive == ".conn") {
      if (w.size() != 3) throw SourceError{line, "malformed .conn, expected '.conn from to'"};
      source.Define(Source::Kind::kGate, static_cast<uint8_t>(GateType::kBuf),
                    source.Intern(w[2], 0), {2 * source.Intern(w[1], line)}, line);
    } else if (directive == ".subckt" || directive == ".gate") {
      if (w.size() < 2) throw SourceError{line, std::string(directive) + " without a cell name"};
      const std::string_view type = w[1];
      // The pins formal=actual, by formal name.
      std::vector<std::pair<std::string_view, std::string_view>> connections;
      for (size_t i = 2; i < w.size(); ++i) {
        const size_t eq = w[i].find('=');
        if (eq == std::string_view::npos || eq == 0 || eq + 1 == w[i].size()) {
          throw SourceError{line, "malformed pin '" + std::string(w[i]) + "', expected PIN=NET"};
        }
        connections.push_back({w[i].substr(0, eq), w[i].substr(eq + 1)});
      }
      const auto pin = [&](std::string_view formal) -> std::string_view {
        for (const auto& [f, actual] : connections) {
          if (f == formal) return actual;
        }
        throw SourceError{line,
                          "cell '" + std::string(type) + "' without pin " + std::string(formal)};
      };
      const CellInfo* cell = nullptr;
      for (const CellInfo& c : kCells) {
        if (c.name == type) cell = &c;
      }
      if (cell != nullptr) {
        fanins.clear();
        for (char p : cell->pins) fanins.push_back(2 * source.Intern(pin({&p, 1}), line));
        source.Define(cell->kind, cell->function, source.Intern(pin("Y"), 0), fanins, line);
      } else if (IsFlopCell(type)) {
        const int q = source.Intern(pin("Q"), 0);
        source.Drive(q, Source::Driver::kFlop, line);
        source.flops.push_back(q);
        for (const auto& [formal, actual] : connections) {
          if (formal == "Q" || formal == "C") continue;
          pins.push_back({actual, 2 * source.Intern(actual, line), line});
        }
      } else {
        unknownCells.push_back({type, line});
      }
    } else {
      throw SourceError{line, "unsupported directive '" + std::string(directive) + "'"};
    }
  }
  if (!unknownCells.empty()) {
    const Pending& first = unknownCells.front();
    if (models.count(first.type) > 0) {
      throw SourceError{first.line, "instance of model '" + std::string(first.type) +
                                        "': flatten first (for example yosys 'flatten')"};
    }
    throw SourceError{first.line, "unknown cell '" + std::string(first.type) + "'"};
  }
  source.outputs.insert(source.outputs.end(), pins.begin(), pins.end());
  // Yosys's constant nets, when the file does not define them.
  for (const auto& [name, driver] :
       {std::pair{"$false", Source::Driver::kFalse}, std::pair{"$true", Source::Driver::kTrue},
        std::pair{"$undef", Source::Driver::kFalse}}) {
    const auto found = source.byName.find(name);
    if (found != source.byName.end() &&
        source.nets[found->second].driver == Source::Driver::kNone) {
      source.nets[found->second].driver = driver;
    }
  }
}

}  // namespace tambril::import
