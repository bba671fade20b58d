#include "cellLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/inputFile.h"
#include "io/error.h"
#include "io/text.h"

namespace tambril::liberty {

double Table::Lookup(double x, double y) const {
  // Position in one axis: segment i and the fraction t along it (below 0 or above 1 beyond
  // the ends).
  const auto locate = [](const std::vector<double>& axis, double v, size_t& i, double& t) {
    const size_t n = axis.size();
    if (n < 2) {
      i = 0;
      t = 0;
      return;
    }
    i = 0;
    while (i + 2 < n && v >= axis[i + 1]) ++i;
    t = (v - axis[i]) / (axis[i + 1] - axis[i]);
  };
  size_t i, j;
  double t, u;
  locate(slew, x, i, t);
  locate(load, y, j, u);
  const size_t columns = load.size();
  const size_t i1 = slew.size() < 2 ? i : i + 1;
  const size_t j1 = columns < 2 ? j : j + 1;
  const double* row0 = &values[i * columns];
  const double* row1 = &values[i1 * columns];
  const double low = row0[j] + (row0[j1] - row0[j]) * u;
  const double high = row1[j] + (row1[j1] - row1[j]) * u;
  return low + (high - low) * t;
}

int Cell::FindPin(std::string_view pinName) const {
  for (size_t i = 0; i < pins.size(); ++i) {
    if (pins[i].name == pinName) return static_cast<int>(i);
  }
  return -1;
}

const Cell* CellLibrary::Find(std::string_view name) const {
  const auto it = byName.find(std::string(name));
  return it == byName.end() ? nullptr : &cells[it->second];
}

TruthTable EmptyTable(int n) {
  const size_t words = n <= 6 ? 1 : (size_t{1} << (n - 6));
  return TruthTable(words, 0);
}

bool Evaluate(const TruthTable& table, uint32_t row) { return (table[row >> 6] >> (row & 63)) & 1; }

namespace {

// ---- functions ----

class FunctionParser {
 public:
  FunctionParser(std::string_view text, const std::vector<std::string>& inputs)
      : text_(text), inputs_(inputs), n_(static_cast<int>(inputs.size())) {
    const TruthTable zero = EmptyTable(n_);
    ones_ = zero;
    const uint64_t rows = uint64_t{1} << n_;
    if (rows >= 64) {
      for (uint64_t& w : ones_) w = ~uint64_t{0};
    } else {
      ones_[0] = (uint64_t{1} << rows) - 1;
    }
  }

  bool Parse(TruthTable& result, std::string& error) {
    if (!Or(result)) {
      error = error_;
      return false;
    }
    SkipBlanks();
    if (pos_ != text_.size()) {
      error = "unexpected '" + std::string(1, text_[pos_]) + "' in function '" +
              std::string(text_) + "'";
      return false;
    }
    return true;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' ||
            text_[pos_] == '\r' || text_[pos_] == '"' || text_[pos_] == '\\')) {
      ++pos_;
    }
  }
  bool Peek(char c) {
    SkipBlanks();
    return pos_ < text_.size() && text_[pos_] == c;
  }
  bool Fail(const std::string& message) {
    if (error_.empty()) error_ = message + " in function '" + std::string(text_) + "'";
    return false;
  }
  static bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '[' || c == ']' ||
           c == '.' || c == '$';
  }

  bool Or(TruthTable& out) {
    if (!Xor(out)) return false;
    while (Peek('+') || Peek('|')) {
      ++pos_;
      TruthTable rhs;
      if (!Xor(rhs)) return false;
      for (size_t w = 0; w < out.size(); ++w) out[w] |= rhs[w];
    }
    return true;
  }
  // And binds looser than exclusive or; both looser than complement.
  bool Xor(TruthTable& out) {
    if (!And(out)) return false;
    while (Peek('^')) {
      ++pos_;
      TruthTable rhs;
      if (!And(rhs)) return false;
      for (size_t w = 0; w < out.size(); ++w) out[w] ^= rhs[w];
    }
    return true;
  }
  bool And(TruthTable& out) {
    if (!Unary(out)) return false;
    for (;;) {
      SkipBlanks();
      if (pos_ >= text_.size()) return true;
      const char c = text_[pos_];
      if (c == '*' || c == '&') {
        ++pos_;
      } else if (!(c == '!' || c == '(' || IsNameChar(c))) {
        return true;  // juxtaposition only before a term
      }
      TruthTable rhs;
      if (!Unary(rhs)) return false;
      for (size_t w = 0; w < out.size(); ++w) out[w] &= rhs[w];
    }
  }
  bool Unary(TruthTable& out) {
    if (++depth_ > 64) return Fail("parentheses nested too deep");
    bool complement = false;
    while (Peek('!')) {
      ++pos_;
      complement = !complement;
    }
    SkipBlanks();
    if (pos_ >= text_.size()) return Fail("missing operand");
    if (text_[pos_] == '(') {
      ++pos_;
      if (!Or(out)) return false;
      if (!Peek(')')) return Fail("missing ')'");
      ++pos_;
    } else if (IsNameChar(text_[pos_])) {
      const size_t begin = pos_;
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      const std::string_view name = text_.substr(begin, pos_ - begin);
      if (name == "0" || name == "1") {
        out = name == "1" ? ones_ : EmptyTable(n_);
      } else {
        int index = -1;
        for (int i = 0; i < n_; ++i) {
          if (inputs_[i] == name) index = i;
        }
        if (index < 0) {
          unknown_ = true;
          return Fail("unknown pin '" + std::string(name) + "'");
        }
        out = EmptyTable(n_);
        for (uint64_t row = 0; row < (uint64_t{1} << n_); ++row) {
          if ((row >> index) & 1) out[row >> 6] |= uint64_t{1} << (row & 63);
        }
      }
    } else {
      return Fail("unexpected '" + std::string(1, text_[pos_]) + "'");
    }
    while (Peek('\'')) {
      ++pos_;
      complement = !complement;
    }
    if (complement) {
      for (size_t w = 0; w < out.size(); ++w) out[w] = ~out[w] & ones_[w];
    }
    --depth_;
    return true;
  }

  std::string_view text_;
  const std::vector<std::string>& inputs_;
  int n_;
  TruthTable ones_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::string error_;

 public:
  bool unknown_ = false;
};

// ---- numbers and units ----

struct Units {
  double time = 1e-9;  // seconds per time unit
  double cap = 1e-12;  // farads per capacitance unit
};

class Reader {
 public:
  Reader(const Document& document, const std::string& program)
      : document_(document), where_(program + ": " + document.fileName) {}

  [[noreturn]] void Fail(int line, const std::string& message) const {
    throw FormatError(where_ + ":" + std::to_string(line) + ": " + message);
  }

  double Number(std::string_view text, int line) const {
    double value;
    if (!ParseWholeNumber(text, value) || !std::isfinite(value)) {
      Fail(line, "'" + std::string(text.substr(0, 40)) + "' is not a number");
    }
    return value;
  }

  // Numbers separated by commas and blanks, from one or more strings.
  std::vector<double> Numbers(const std::vector<std::string_view>& strings, int line) const {
    std::vector<double> numbers;
    for (std::string_view s : strings) {
      Tokenizer tokens(s, kListSeparators);
      std::string_view token;
      while (tokens.Next(token)) numbers.push_back(Number(token, line));
    }
    return numbers;
  }

  void ReadUnits(const Group& library) {
    for (const Attribute& a : library.attributes) {
      if (a.name == "time_unit") {
        const std::string_view v = a.values.empty() ? std::string_view() : a.values[0];
        size_t digits = 0;
        while (digits < v.size() &&
               (std::isdigit(static_cast<unsigned char>(v[digits])) || v[digits] == '.')) {
          ++digits;
        }
        const double scale = digits == 0 ? 0 : Number(v.substr(0, digits), a.line);
        const std::string_view unit = v.substr(digits);
        double base = 0;
        if (unit == "s") base = 1;
        if (unit == "ms") base = 1e-3;
        if (unit == "us") base = 1e-6;
        if (unit == "ns") base = 1e-9;
        if (unit == "ps") base = 1e-12;
        if (unit == "fs") base = 1e-15;
        if (!(scale > 0) || base == 0) Fail(a.line, "unknown time unit '" + std::string(v) + "'");
        units_.time = scale * base;
      } else if (a.name == "capacitive_load_unit") {
        if (a.values.size() != 2) Fail(a.line, "capacitive_load_unit needs a number and a unit");
        const double scale = Number(a.values[0], a.line);
        std::string unit(a.values[1]);
        for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        double base = 0;
        if (unit == "pf") base = 1e-12;
        if (unit == "ff") base = 1e-15;
        if (unit == "nf") base = 1e-9;
        if (!(scale > 0) || base == 0) {
          Fail(a.line, "unknown capacitance unit '" + std::string(a.values[1]) + "'");
        }
        units_.cap = scale * base;
      }
    }
  }

  struct Template {
    std::string_view variable1, variable2;
    std::vector<double> index1, index2;
  };

  void ReadTemplates(const Group& library) {
    for (int child : library.children) {
      const Group& g = document_.groups[child];
      if (g.type != "lu_table_template") continue;
      if (g.args.size() != 1) Fail(g.line, "lu_table_template needs one name");
      Template t;
      t.variable1 = g.Value("variable_1");
      t.variable2 = g.Value("variable_2");
      if (const Attribute* a = g.Find("index_1")) t.index1 = Numbers(a->values, a->line);
      if (const Attribute* a = g.Find("index_2")) t.index2 = Numbers(a->values, a->line);
      templates_[std::string(g.args[0])] = std::move(t);
    }
  }

  // A delay or transition table. Returns false, with `why` set, for a table over variables
  // other than the input transition and the output load.
  bool ReadTable(const Group& g, Table& table, std::string& why) const {
    Template t;
    const std::string name = g.args.empty() ? std::string() : std::string(g.args[0]);
    if (name != "scalar") {
      const auto it = templates_.find(name);
      if (it == templates_.end()) Fail(g.line, "unknown table template '" + name + "'");
      t = it->second;
    }
    if (const Attribute* a = g.Find("index_1")) t.index1 = Numbers(a->values, a->line);
    if (const Attribute* a = g.Find("index_2")) t.index2 = Numbers(a->values, a->line);
    const Attribute* values = g.Find("values");
    if (values == nullptr) Fail(g.line, "table '" + std::string(g.type) + "' has no values");
    std::vector<double> v = Numbers(values->values, values->line);
    const size_t n1 = t.variable1.empty() ? 1 : t.index1.size();
    const size_t n2 = t.variable2.empty() ? 1 : t.index2.size();
    if (n1 == 0 || n2 == 0 || v.size() != n1 * n2) {
      Fail(values->line, "table '" + std::string(g.type) + "' has " + std::to_string(v.size()) +
                             " values for " + std::to_string(n1) + " x " + std::to_string(n2) +
                             " indices");
    }
    const auto ascending = [](const std::vector<double>& axis) {
      for (size_t i = 1; i < axis.size(); ++i) {
        if (!(axis[i] > axis[i - 1])) return false;
      }
      return true;
    };
    if ((!t.variable1.empty() && !ascending(t.index1)) ||
        (!t.variable2.empty() && !ascending(t.index2))) {
      Fail(g.line, "the indices of table '" + std::string(g.type) + "' do not ascend");
    }
    // Which axis is which.
    int slewAxis = 0, loadAxis = 0;  // 1 or 2, 0 when absent
    for (int k = 1; k <= 2; ++k) {
      const std::string_view variable = k == 1 ? t.variable1 : t.variable2;
      if (variable.empty()) continue;
      if (variable == "input_net_transition" || variable == "input_transition_time") {
        slewAxis = k;
      } else if (variable == "total_output_net_capacitance") {
        loadAxis = k;
      } else {
        why = "a delay table over " + std::string(variable);
        return false;
      }
    }
    const std::vector<double> none{0.0};
    const std::vector<double>& slew = slewAxis == 1 ? t.index1 : slewAxis == 2 ? t.index2 : none;
    const std::vector<double>& load = loadAxis == 1 ? t.index1 : loadAxis == 2 ? t.index2 : none;
    table.slew.clear();
    table.load.clear();
    for (double s : slew) table.slew.push_back(s * units_.time);
    for (double c : load) table.load.push_back(c * units_.cap);
    table.values.assign(slew.size() * load.size(), 0.0);
    for (size_t i = 0; i < n1; ++i) {
      for (size_t j = 0; j < n2; ++j) {
        const size_t s = slewAxis == 1 ? i : slewAxis == 2 ? j : 0;
        const size_t c = loadAxis == 1 ? i : loadAxis == 2 ? j : 0;
        table.values[s * load.size() + c] = v[i * n2 + j] * units_.time;
      }
    }
    return true;
  }

  void ReadCell(const Group& g, Cell& cell) const {
    cell.file = document_.fileName;
    cell.line = g.line;
    if (g.args.size() != 1) Fail(g.line, "a cell needs one name");
    cell.name = std::string(g.args[0]);
    const std::string_view area = g.Value("area");
    if (!area.empty()) cell.area = Number(area, g.Find("area")->line) * 1e-12;
    struct PendingArc {
      int outputPin;
      const Group* timing;
    };
    std::vector<PendingArc> timings;
    for (int child : g.children) {
      const Group& c = document_.groups[child];
      if (c.type == "ff" || c.type == "latch" || c.type == "statetable" || c.type == "ff_bank" ||
          c.type == "latch_bank") {
        cell.sequential = true;
      } else if (c.type == "bus" || c.type == "bundle") {
        if (cell.skip.empty()) cell.skip = "bus pins";
      } else if (c.type == "pin") {
        for (std::string_view pinName : c.args) {
          Pin pin;
          pin.name = std::string(pinName);
          const std::string_view direction = c.Value("direction");
          if (direction == "input") {
            pin.direction = Direction::kInput;
          } else if (direction == "output") {
            pin.direction = Direction::kOutput;
          } else if (direction == "inout") {
            pin.direction = Direction::kInout;
          } else if (direction == "internal") {
            pin.direction = Direction::kInternal;
          } else {
            Fail(c.line, "pin '" + pin.name + "' has no direction");
          }
          for (const Attribute& a : c.attributes) {
            if (!a.simple || a.values.empty()) continue;
            if (a.name == "capacitance") {
              pin.capacitance = Number(a.values[0], a.line) * units_.cap;
            } else if (a.name == "rise_capacitance") {
              pin.riseCap = Number(a.values[0], a.line) * units_.cap;
            } else if (a.name == "fall_capacitance") {
              pin.fallCap = Number(a.values[0], a.line) * units_.cap;
            } else if (a.name == "clock") {
              pin.clock = a.values[0] == "true";
            } else if (a.name == "function") {
              pin.function = std::string(a.values[0]);
            }
          }
          if (pin.riseCap == 0) pin.riseCap = pin.capacitance;
          if (pin.fallCap == 0) pin.fallCap = pin.capacitance;
          if (cell.FindPin(pin.name) >= 0) {
            Fail(c.line, "pin '" + pin.name + "' of cell '" + cell.name + "' given twice");
          }
          cell.pins.push_back(std::move(pin));
          for (int t : c.children) {
            if (document_.groups[t].type == "timing") {
              timings.push_back({static_cast<int>(cell.pins.size()) - 1, &document_.groups[t]});
            }
          }
        }
      }
    }
    Classify(cell, timings.size());
    if (cell.sequential) ReadClockArcs(cell, timings);
    if (!cell.skip.empty()) return;
    // The arcs to the output, one per input: the first combinational timing group that names
    // the input.
    std::vector<std::string> inputNames;
    for (int i : cell.inputs) inputNames.push_back(cell.pins[i].name);
    cell.arcs.assign(cell.inputs.size(), Arc());
    std::vector<bool> have(cell.inputs.size(), false);
    for (const PendingArc& pending : timings) {
      if (pending.outputPin != cell.output) continue;
      const Group& t = *pending.timing;
      const std::string_view type = t.Value("timing_type");
      if (!type.empty() && type != "combinational" && type != "combinational_rise" &&
          type != "combinational_fall") {
        continue;
      }
      const std::string_view related = t.Value("related_pin");
      Tokenizer names(related, kWhiteSpace);
      std::string_view relatedName;
      while (names.Next(relatedName)) {
        size_t k = 0;
        while (k < inputNames.size() && inputNames[k] != relatedName) ++k;
        if (k == inputNames.size()) continue;
        Arc& arc = cell.arcs[k];
        arc.input = cell.inputs[k];
        ArcTables tables;
        const std::string_view sense = t.Value("timing_sense");
        tables.sense = sense == "positive_unate"   ? Sense::kPositive
                       : sense == "negative_unate" ? Sense::kNegative
                                                   : Sense::kNon;
        int found = 0;
        for (int tableIndex : t.children) {
          const Group& table = document_.groups[tableIndex];
          Table* target = table.type == "cell_rise"         ? &tables.cellRise
                          : table.type == "cell_fall"       ? &tables.cellFall
                          : table.type == "rise_transition" ? &tables.riseTransition
                          : table.type == "fall_transition" ? &tables.fallTransition
                                                            : nullptr;
          if (target == nullptr) continue;
          std::string why;
          if (!ReadTable(table, *target, why)) {
            cell.skip = why;
            return;
          }
          ++found;
        }
        if (found < 4) {
          cell.skip = "no delay and transition tables from pin " + std::string(relatedName);
          return;
        }
        arc.variants.push_back(std::move(tables));
        have[k] = true;
      }
    }
    for (Arc& arc : cell.arcs) Merge(arc);
    for (size_t k = 0; k < have.size(); ++k) {
      if (!have[k]) {
        cell.skip = "no timing from pin " + inputNames[k];
        return;
      }
    }
  }

  // Tables of edge-triggered timing groups on output pins (clock to output).
  template <typename Pending>
  void ReadClockArcs(Cell& cell, const std::vector<Pending>& timings) const {
    for (const Pending& pending : timings) {
      const Pin& pin = cell.pins[pending.outputPin];
      if (pin.direction != Direction::kOutput) continue;
      bool have = false;
      for (const Cell::ClockArc& arc : cell.clockArcs) have = have || arc.pin == pending.outputPin;
      const Group& t = *pending.timing;
      const std::string_view type = t.Value("timing_type");
      if (have || (type != "rising_edge" && type != "falling_edge")) continue;
      Cell::ClockArc arc;
      arc.pin = pending.outputPin;
      int found = 0;
      for (int tableIndex : t.children) {
        const Group& table = document_.groups[tableIndex];
        Table* target = table.type == "cell_rise"         ? &arc.tables.cellRise
                        : table.type == "cell_fall"       ? &arc.tables.cellFall
                        : table.type == "rise_transition" ? &arc.tables.riseTransition
                        : table.type == "fall_transition" ? &arc.tables.fallTransition
                                                          : nullptr;
        std::string why;
        if (target != nullptr && ReadTable(table, *target, why)) ++found;
      }
      if (found == 4) cell.clockArcs.push_back(std::move(arc));
    }
  }

  static bool SameAxes(const Table& a, const Table& b) {
    return a.slew == b.slew && a.load == b.load;
  }
  static void MergeInto(Table& into, const Table& from) {
    for (size_t i = 0; i < into.values.size(); ++i) {
      into.values[i] = std::max(into.values[i], from.values[i]);
    }
  }
  static void Merge(Arc& arc) {
    for (const ArcTables& v : arc.variants) {
      ArcTables* into = nullptr;
      for (ArcTables& m : arc.merged) {
        if (m.sense == v.sense && SameAxes(m.cellRise, v.cellRise) &&
            SameAxes(m.cellFall, v.cellFall) && SameAxes(m.riseTransition, v.riseTransition) &&
            SameAxes(m.fallTransition, v.fallTransition)) {
          into = &m;
        }
      }
      if (into == nullptr) {
        arc.merged.push_back(v);
        continue;
      }
      MergeInto(into->cellRise, v.cellRise);
      MergeInto(into->cellFall, v.cellFall);
      MergeInto(into->riseTransition, v.riseTransition);
      MergeInto(into->fallTransition, v.fallTransition);
    }
  }

  // Decides whether the cell has one output that a function of its inputs gives.
  void Classify(Cell& cell, size_t /*timingGroups*/) const {
    if (!cell.skip.empty()) return;
    if (cell.sequential) {
      cell.skip = "sequential";
      return;
    }
    int outputs = 0;
    for (size_t i = 0; i < cell.pins.size(); ++i) {
      const Pin& pin = cell.pins[i];
      if (pin.direction == Direction::kInout) {
        cell.skip = "a bidirectional pin";
        return;
      }
      if (pin.direction == Direction::kOutput) {
        ++outputs;
        cell.output = static_cast<int>(i);
      } else if (pin.direction == Direction::kInput) {
        cell.inputs.push_back(static_cast<int>(i));
      }
    }
    if (outputs != 1) {
      cell.skip = outputs == 0 ? "no output" : std::to_string(outputs) + " outputs";
      return;
    }
    if (cell.inputs.size() > 16) {
      cell.skip = "more than 16 inputs";
      return;
    }
    const Pin& out = cell.pins[cell.output];
    if (out.function.empty()) {
      cell.skip = "no function";
      return;
    }
    std::vector<std::string> names;
    for (int i : cell.inputs) names.push_back(cell.pins[i].name);
    FunctionParser parser(out.function, names);
    std::string error;
    if (!parser.Parse(cell.function, error)) {
      if (parser.unknown_) {
        cell.skip = "a function of internal pins";
        return;
      }
      Fail(cell.line, "cell '" + cell.name + "': " + error);
    }
    bool zero = true, one = true;
    const TruthTable empty = EmptyTable(static_cast<int>(names.size()));
    const uint64_t rows = uint64_t{1} << names.size();
    for (uint64_t r = 0; r < rows; ++r) {
      (Evaluate(cell.function, static_cast<uint32_t>(r)) ? zero : one) = false;
    }
    if (zero || one) {
      cell.skip = "a constant output (tie cell)";
      return;
    }
    if (!(cell.area > 0)) {
      cell.skip = "no area";
      return;
    }
  }

  const Units& units() const { return units_; }

 private:
  static constexpr Separators kListSeparators{", \t\n\r"};
  const Document& document_;
  std::string where_;
  Units units_;
  std::unordered_map<std::string, Template> templates_;
};

}  // namespace

bool ParseFunction(std::string_view text, const std::vector<std::string>& inputs, TruthTable& table,
                   std::string& error) {
  FunctionParser parser(text, inputs);
  return parser.Parse(table, error);
}

CellLibrary ReadCells(const std::vector<Document>& documents, const std::string& program) {
  CellLibrary library;
  for (const Document& document : documents) {
    Reader reader(document, program);
    const Group& top = document.groups[0];
    if (top.type != "library") reader.Fail(top.line, "expected a library group");
    reader.ReadUnits(top);
    reader.ReadTemplates(top);
    for (int child : top.children) {
      const Group& g = document.groups[child];
      if (g.type != "cell") continue;
      Cell cell;
      reader.ReadCell(g, cell);
      const auto [it, fresh] =
          library.byName.emplace(cell.name, static_cast<int>(library.cells.size()));
      if (!fresh) {
        const Cell& first = library.cells[it->second];
        reader.Fail(g.line, "cell '" + cell.name + "' is also defined in " + first.file + ":" +
                                std::to_string(first.line));
      }
      library.cells.push_back(std::move(cell));
    }
  }
  return library;
}

CellLibrary ReadLibertyFiles(const std::vector<std::string>& paths, const std::string& program) {
  std::vector<Document> documents;
  for (const std::string& path : paths) {
    documents.push_back(Parse(tools::ReadInput(program, path), path, program));
  }
  return ReadCells(documents, program);
}

}  // namespace tambril::liberty
