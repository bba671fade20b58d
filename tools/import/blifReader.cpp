#include <algorithm>
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

// Reads the first model of a BLIF file into a Source, one logical line at a time.
class BlifReader {
 public:
  BlifReader(std::string_view text, Source& source) : lines_(text), source_(source) {}

  void Read() {
    while (lines_.Next(w_, line_)) {
      const std::string_view directive = w_[0];
      if (directive[0] != '.') {
        if (!ended_ && !exdc_) CoverRow();
        continue;
      }
      cover_ = -1;
      if (directive == ".model") {
        if (w_.size() >= 2) models_.insert(w_[1]);
        if (seenModel_) ended_ = true;
        seenModel_ = true;
        continue;
      }
      if (directive == ".end") ended_ = true;
      if (directive == ".exdc") exdc_ = true;
      if (ended_ || exdc_ || IsIgnored(directive)) continue;
      Directive(directive);
    }
    Finish();
  }

 private:
  void Directive(std::string_view directive) {
    if (directive == ".inputs") {
      Inputs();
    } else if (directive == ".outputs") {
      for (size_t i = 1; i < w_.size(); ++i) {
        source_.outputs.push_back({w_[i], 2 * source_.Intern(w_[i], line_), line_});
      }
    } else if (directive == ".names") {
      Names();
    } else if (directive == ".latch") {
      Latch();
    } else if (directive == ".conn") {
      if (w_.size() != 3) throw SourceError{line_, "malformed .conn, expected '.conn from to'"};
      source_.Define(Source::Kind::kGate, static_cast<uint8_t>(GateType::kBuf),
                     source_.Intern(w_[2], 0), {2 * source_.Intern(w_[1], line_)}, line_);
    } else if (directive == ".subckt" || directive == ".gate") {
      Instance(directive);
    } else {
      throw SourceError{line_, "unsupported directive '" + std::string(directive) + "'"};
    }
  }

  void Inputs() {
    for (size_t i = 1; i < w_.size(); ++i) {
      const int net = source_.Intern(w_[i], 0);
      source_.Drive(net, Source::Driver::kInput, line_);
      source_.inputs.push_back(net);
    }
  }

  // ".names IN... OUT": a cover whose rows follow.
  void Names() {
    if (w_.size() < 2) throw SourceError{line_, ".names without an output"};
    fanins_.clear();
    for (size_t i = 1; i + 1 < w_.size(); ++i) fanins_.push_back(2 * source_.Intern(w_[i], line_));
    const int out = source_.Intern(w_.back(), 0);
    cover_ = source_.Define(Source::Kind::kCover, 0, out, fanins_, line_);
    source_.definitions[cover_].cubeStart = source_.cubeText.size();
  }

  // One row of the current cover: its input plane (one of 0, 1, - per input) and output value.
  void CoverRow() {
    if (cover_ < 0) throw SourceError{line_, "cover row outside a .names cover"};
    Source::Definition& def = source_.definitions[cover_];
    const size_t n = static_cast<size_t>(def.count);
    const std::string_view plane = n == 0 ? std::string_view() : w_[0];
    if (w_.size() != (n == 0 ? 1u : 2u) || plane.size() != n ||
        plane.find_first_not_of("01-") != std::string_view::npos ||
        (w_.back() != "0" && w_.back() != "1")) {
      throw SourceError{line_, "malformed cover row, expected " + std::to_string(n) +
                                   " of 0, 1, - and then 0 or 1"};
    }
    const bool offSet = w_.back() == "0";
    if (def.cubes > 0 && offSet != def.offSet) {
      throw SourceError{line_, "cover mixes rows for output 1 and output 0"};
    }
    def.offSet = offSet;
    source_.cubeText.append(plane);
    ++def.cubes;
  }

  // ".latch D Q [type control] [init]": Q becomes an input, D an output.
  void Latch() {
    if (w_.size() < 3 || w_.size() > 6) {
      throw SourceError{line_,
                        "malformed .latch, expected '.latch input output [type control] [init]'"};
    }
    const int q = source_.Intern(w_[2], 0);
    source_.Drive(q, Source::Driver::kFlop, line_);
    source_.flops.push_back(q);
    pins_.push_back({w_[1], 2 * source_.Intern(w_[1], line_), line_});
  }

  // ".subckt CELL PIN=NET ..." (or .gate): a Yosys internal cell, or a flip-flop cell to cut.
  void Instance(std::string_view directive) {
    if (w_.size() < 2) throw SourceError{line_, std::string(directive) + " without a cell name"};
    const std::string_view type = w_[1];
    connections_.clear();
    for (size_t i = 2; i < w_.size(); ++i) {
      const size_t eq = w_[i].find('=');
      if (eq == std::string_view::npos || eq == 0 || eq + 1 == w_[i].size()) {
        throw SourceError{line_, "malformed pin '" + std::string(w_[i]) + "', expected PIN=NET"};
      }
      connections_.push_back({w_[i].substr(0, eq), w_[i].substr(eq + 1)});
    }
    formals_.clear();
    for (const auto& connection : connections_) formals_.push_back(connection.first);
    std::sort(formals_.begin(), formals_.end());
    const auto twice = std::adjacent_find(formals_.begin(), formals_.end());
    if (twice != formals_.end()) {
      throw SourceError{
          line_, "pin " + std::string(*twice) + " of cell '" + std::string(type) + "' given twice"};
    }
    const CellInfo* cell = nullptr;
    for (const CellInfo& c : kCells) {
      if (c.name == type) cell = &c;
    }
    if (cell != nullptr) {
      fanins_.clear();
      for (char p : cell->pins) {
        fanins_.push_back(2 * source_.Intern(Pin(type, {&p, 1}), line_));
      }
      source_.Define(cell->kind, cell->function, source_.Intern(Pin(type, "Y"), 0), fanins_, line_);
    } else if (IsFlopCell(type)) {
      const int q = source_.Intern(Pin(type, "Q"), 0);
      source_.Drive(q, Source::Driver::kFlop, line_);
      source_.flops.push_back(q);
      for (const auto& [formal, actual] : connections_) {
        if (formal == "Q" || formal == "C") continue;
        pins_.push_back({actual, 2 * source_.Intern(actual, line_), line_});
      }
    } else {
      unknownCells_.push_back({type, line_});
    }
  }

  // The net on the instance's pin `formal`.
  std::string_view Pin(std::string_view type, std::string_view formal) const {
    for (const auto& [f, actual] : connections_) {
      if (f == formal) return actual;
    }
    throw SourceError{line_, "cell '" + std::string(type) + "' without pin " + std::string(formal)};
  }

  // After the last line: cells that name nothing known, the flip-flops' cut pins after the
  // outputs, and Yosys's constant nets where the file does not define them.
  void Finish() {
    if (!unknownCells_.empty()) {
      const Pending& first = unknownCells_.front();
      if (models_.count(first.type) > 0) {
        throw SourceError{first.line, "instance of model '" + std::string(first.type) +
                                          "': flatten first (for example yosys 'flatten')"};
      }
      throw SourceError{first.line, "unknown cell '" + std::string(first.type) + "'"};
    }
    source_.outputs.insert(source_.outputs.end(), pins_.begin(), pins_.end());
    for (const auto& [name, driver] :
         {std::pair{"$false", Source::Driver::kFalse}, std::pair{"$true", Source::Driver::kTrue},
          std::pair{"$undef", Source::Driver::kFalse}}) {
      const auto found = source_.byName.find(name);
      if (found != source_.byName.end() &&
          source_.nets[found->second].driver == Source::Driver::kNone) {
        source_.nets[found->second].driver = driver;
      }
    }
  }

  LogicalLines lines_;
  Source& source_;
  std::vector<std::string_view> w_;  // the words of the current logical line
  int line_ = 0;
  int cover_ = -1;  // the definition whose rows follow
  bool seenModel_ = false, ended_ = false, exdc_ = false;
  std::vector<Source::Literal> fanins_;
  std::vector<std::pair<std::string_view, std::string_view>> connections_;  // PIN=NET
  std::vector<std::string_view> formals_;
  std::vector<Source::Output> pins_;  // the flip-flops' cut pins, after the outputs
  std::vector<Pending> unknownCells_;
  std::unordered_set<std::string_view> models_;
};

}  // namespace

void ReadBlif(std::string_view text, Source& source) { BlifReader(text, source).Read(); }

}  // namespace tambril::import
