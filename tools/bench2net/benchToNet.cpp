#include "benchToNet.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace bench2net {
namespace {

// ---------------------------------------------------------------------------------------------
// Gate types

enum class GateKind { kAnd, kNand, kOr, kNor, kXor, kXnor, kNot, kBuf, kDff };

struct GateInfo {
  std::string_view benchName;  // upper case; matched in any case
  GateKind kind;
  std::string_view libraryName;  // written to the netlist
  bool singleInput;              // exactly one input, or one or more
};

constexpr GateInfo kGates[] = {
    {"AND", GateKind::kAnd, "AND", false}, {"NAND", GateKind::kNand, "NAND", false},
    {"OR", GateKind::kOr, "OR", false},    {"NOR", GateKind::kNor, "NOR", false},
    {"XOR", GateKind::kXor, "XOR", false}, {"XNOR", GateKind::kXnor, "XNOR", false},
    {"NOT", GateKind::kNot, "INV", true},  {"BUFF", GateKind::kBuf, "BUF", true},
    {"BUF", GateKind::kBuf, "BUF", true},  {"DFF", GateKind::kDff, "DFF", true},
};

bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

const GateInfo* FindGate(std::string_view name) {
  for (const GateInfo& info : kGates) {
    if (EqualsIgnoringCase(name, info.benchName)) return &info;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Tokens of one line

enum class Tok { kName, kOpen, kClose, kComma, kEquals };

struct Token {
  Tok kind;
  std::string_view text;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Splits a line, comment already removed, into names and the punctuation ( ) , =.
void Tokenize(std::string_view line, std::vector<Token>& tokens) {
  tokens.clear();
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsBlank(c)) {
      ++i;
      continue;
    }
    Tok kind = Tok::kName;
    switch (c) {
      case '(':
        kind = Tok::kOpen;
        break;
      case ')':
        kind = Tok::kClose;
        break;
      case ',':
        kind = Tok::kComma;
        break;
      case '=':
        kind = Tok::kEquals;
        break;
      default:
        break;
    }
    if (kind != Tok::kName) {
      tokens.push_back({kind, line.substr(i, 1)});
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i]) && line[i] != '(' && line[i] != ')' &&
           line[i] != ',' && line[i] != '=') {
      ++i;
    }
    tokens.push_back({Tok::kName, line.substr(start, i - start)});
  }
}

// ---------------------------------------------------------------------------------------------
// The circuit as read

enum class Source { kNone, kInput, kDff, kGate };

struct Signal {
  std::string_view name;
  Source source = Source::kNone;
  int defLine = 0;
  int firstUse = 0;  // line of the first use, 0 when never used
  int gate = -1;     // index in gates for kDff and kGate
  int node = 0;      // node id, set once numbered
  bool output = false;
};

struct Gate {
  int output;  // signal index
  const GateInfo* info;
  int line;
  size_t firstInput;  // into Reader::inputs_
  int inputCount;
};

class ConversionError {
 public:
  ConversionError(int line, std::string message) : line(line), message(std::move(message)) {}
  int line;  // 0: the error is not tied to one line
  std::string message;
};

class Reader {
 public:
  void Read(std::istream& in);
  std::string Write();

 private:
  int Intern(std::string_view name);
  void Use(int signal, int line);
  void Define(int signal, Source source, int gate, int line);
  void ParseLine(std::string_view line, int lineNumber);
  void ParseDeclaration(bool isInput, int lineNumber);
  void ParseGate(int lineNumber);
  void CheckDefined() const;
  void CollectOutputs();
  void Number();
  void CheckAcyclic() const;

  std::deque<std::string> names_;  // stable storage behind the map's keys
  std::unordered_map<std::string_view, int> index_;
  std::vector<Signal> signals_;
  std::vector<Gate> gates_;  // DFFs and the other gates, in file order
  std::vector<int> inputs_;  // the input signals of every gate, gate after gate
  std::vector<int> primaryInputs_;
  std::vector<int> outputLines_;  // signals named by OUTPUT, in file order
  std::vector<int> outputs_;      // distinct primary output signals, in node-order rank
  std::vector<Token> tokens_;
  std::vector<std::string_view> inputNames_;
  int nodeCount_ = 0;
  int gateCount_ = 0;  // gate lines written, added BUFs included
};

int Reader::Intern(std::string_view name) {
  const auto found = index_.find(name);
  if (found != index_.end()) return found->second;
  names_.emplace_back(name);
  const int id = static_cast<int>(signals_.size());
  signals_.emplace_back();
  signals_.back().name = names_.back();
  index_.emplace(names_.back(), id);
  return id;
}

void Reader::Use(int signal, int line) {
  if (signals_[signal].firstUse == 0) signals_[signal].firstUse = line;
}

void Reader::Define(int signal, Source source, int gate, int line) {
  Signal& s = signals_[signal];
  if (s.source != Source::kNone) {
    throw ConversionError(line, "signal '" + std::string(s.name) +
                                    "' defined twice (first at line " + std::to_string(s.defLine) +
                                    ")");
  }
  s.source = source;
  s.gate = gate;
  s.defLine = line;
}

const char kForms[] = "'INPUT(name)', 'OUTPUT(name)' or 'name = GATE(input, ...)'";
const char kMalformedGate[] = "malformed gate line, expected 'name = GATE(input, ...)'";

void Reader::ParseLine(std::string_view line, int lineNumber) {
  Tokenize(line, tokens_);
  const std::vector<Token>& t = tokens_;
  if (t.empty()) return;
  if (t.size() >= 2 && t[0].kind == Tok::kName && t[1].kind == Tok::kEquals) {
    ParseGate(lineNumber);
    return;
  }
  if (t.size() >= 2 && t[0].kind == Tok::kName && t[1].kind == Tok::kOpen) {
    const bool isInput = EqualsIgnoringCase(t[0].text, "INPUT");
    if (isInput || EqualsIgnoringCase(t[0].text, "OUTPUT")) {
      ParseDeclaration(isInput, lineNumber);
      return;
    }
  }
  throw ConversionError(lineNumber, std::string("malformed line, expected ") + kForms);
}

// INPUT(name) or OUTPUT(name); the first two tokens are read.
void Reader::ParseDeclaration(bool isInput, int lineNumber) {
  const std::vector<Token>& t = tokens_;
  const std::string keyword = isInput ? "INPUT" : "OUTPUT";
  if (t.size() != 4 || t[2].kind != Tok::kName || t[3].kind != Tok::kClose) {
    throw ConversionError(lineNumber,
                          "malformed " + keyword + " line, expected '" + keyword + "(name)'");
  }
  const int signal = Intern(t[2].text);
  if (isInput) {
    Define(signal, Source::kInput, -1, lineNumber);
    primaryInputs_.push_back(signal);
  } else {
    Use(signal, lineNumber);
    outputLines_.push_back(signal);
  }
}

// name = GATE(input, ...); the first two tokens are read.
void Reader::ParseGate(int lineNumber) {
  const std::vector<Token>& t = tokens_;
  if (t.size() < 5 || t[2].kind != Tok::kName || t[3].kind != Tok::kOpen) {
    throw ConversionError(lineNumber, kMalformedGate);
  }
  inputNames_.clear();
  size_t i = 4;
  if (t[i].kind == Tok::kClose) {
    ++i;
  } else {
    // input { , input } )
    for (;;) {
      if (i >= t.size() || t[i].kind != Tok::kName) {
        throw ConversionError(lineNumber, kMalformedGate);
      }
      inputNames_.push_back(t[i++].text);
      if (i >= t.size()) throw ConversionError(lineNumber, kMalformedGate);
      const Tok separator = t[i++].kind;
      if (separator == Tok::kClose) break;
      if (separator != Tok::kComma) throw ConversionError(lineNumber, kMalformedGate);
    }
  }
  if (i != t.size()) throw ConversionError(lineNumber, kMalformedGate);

  const GateInfo* info = FindGate(t[2].text);
  if (info == nullptr) {
    throw ConversionError(lineNumber, "unknown gate type '" + std::string(t[2].text) + "'");
  }
  const std::string outName(t[0].text);
  if (inputNames_.empty()) {
    throw ConversionError(lineNumber, "gate '" + outName + "' has no inputs");
  }
  if (info->singleInput && inputNames_.size() != 1) {
    throw ConversionError(lineNumber, std::string(info->benchName) + " gate '" + outName +
                                          "' has " + std::to_string(inputNames_.size()) +
                                          " inputs, expected 1");
  }
  const int out = Intern(t[0].text);
  const int gate = static_cast<int>(gates_.size());
  Define(out, info->kind == GateKind::kDff ? Source::kDff : Source::kGate, gate, lineNumber);
  const size_t first = inputs_.size();
  for (std::string_view name : inputNames_) {
    const int in = Intern(name);
    Use(in, lineNumber);
    inputs_.push_back(in);
  }
  gates_.push_back({out, info, lineNumber, first, static_cast<int>(inputs_.size() - first)});
}

void Reader::Read(std::istream& in) {
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string_view view(line);
    if (lineNumber == 1 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
    const size_t hash = view.find('#');
    if (hash != std::string_view::npos) view = view.substr(0, hash);
    ParseLine(view, lineNumber);
  }
  if (in.bad()) throw ConversionError(0, "read error, the file could not be read to the end");
  CheckDefined();
  CollectOutputs();
  Number();
  CheckAcyclic();
}

void Reader::CheckDefined() const {
  const Signal* earliest = nullptr;
  for (const Signal& s : signals_) {
    if (s.source == Source::kNone && (earliest == nullptr || s.firstUse < earliest->firstUse)) {
      earliest = &s;
    }
  }
  if (earliest != nullptr) {
    throw ConversionError(earliest->firstUse,
                          "signal '" + std::string(earliest->name) + "' is used but never defined");
  }
}

void Reader::CollectOutputs() {
  auto add = [this](int signal) {
    if (!signals_[signal].output) {
      signals_[signal].output = true;
      outputs_.push_back(signal);
    }
  };
  for (int signal : outputLines_) add(signal);
  for (const Gate& g : gates_) {
    if (g.info->kind == GateKind::kDff) add(inputs_[g.firstInput]);
  }
  if (outputs_.empty()) throw ConversionError(0, "circuit has no outputs");
}

void Reader::Number() {
  int next = 0;
  for (int signal : primaryInputs_) signals_[signal].node = ++next;
  for (const Gate& g : gates_) {
    if (g.info->kind == GateKind::kDff) signals_[g.output].node = ++next;
  }
  for (const Gate& g : gates_) {
    if (g.info->kind != GateKind::kDff) {
      signals_[g.output].node = ++next;
      ++gateCount_;
    }
  }
  for (int signal : outputs_) {
    if (signals_[signal].source != Source::kGate) {
      ++next;
      ++gateCount_;
    }
  }
  nodeCount_ = next;
}

// Kahn's algorithm over the gates other than DFFs; on failure, walks back from a gate left over
// along left-over drivers until a gate repeats, which closes a cycle.
void Reader::CheckAcyclic() const {
  const size_t n = gates_.size();
  std::vector<int> pending(n, 0);
  std::vector<size_t> start(n + 1, 0);  // receivers of gate g: receivers[start[g]..start[g+1])
  auto combinationalDriver = [this](int signal) {
    const Signal& s = signals_[signal];
    return s.source == Source::kGate ? s.gate : -1;
  };
  for (size_t g = 0; g < n; ++g) {
    if (gates_[g].info->kind == GateKind::kDff) continue;
    for (int k = 0; k < gates_[g].inputCount; ++k) {
      const int d = combinationalDriver(inputs_[gates_[g].firstInput + k]);
      if (d >= 0) {
        ++pending[g];
        ++start[d + 1];
      }
    }
  }
  for (size_t g = 0; g < n; ++g) start[g + 1] += start[g];
  std::vector<int> receivers(start[n]);
  std::vector<size_t> fill(start.begin(), start.end() - 1);
  for (size_t g = 0; g < n; ++g) {
    if (gates_[g].info->kind == GateKind::kDff) continue;
    for (int k = 0; k < gates_[g].inputCount; ++k) {
      const int d = combinationalDriver(inputs_[gates_[g].firstInput + k]);
      if (d >= 0) receivers[fill[d]++] = static_cast<int>(g);
    }
  }

  std::vector<int> queue;
  queue.reserve(n);
  for (size_t g = 0; g < n; ++g) {
    if (pending[g] == 0) queue.push_back(static_cast<int>(g));
  }
  for (size_t head = 0; head < queue.size(); ++head) {
    const int g = queue[head];
    for (size_t r = start[g]; r < start[g + 1]; ++r) {
      if (--pending[receivers[r]] == 0) queue.push_back(receivers[r]);
    }
  }
  if (queue.size() == n) return;

  // Every left-over gate has a left-over driver, so the walk closes a cycle.
  int current = 0;
  while (pending[current] == 0) ++current;
  std::vector<int> stepOf(n, -1);
  std::vector<int> path;  // receiver before driver
  while (stepOf[current] < 0) {
    stepOf[current] = static_cast<int>(path.size());
    path.push_back(current);
    const Gate& g = gates_[current];
    for (int k = 0; k < g.inputCount; ++k) {
      const int d = combinationalDriver(inputs_[g.firstInput + k]);
      if (d >= 0 && pending[d] > 0) {
        current = d;
        break;
      }
    }
  }
  // Driver before receiver, starting at the gate that comes first in the file.
  std::vector<int> cycle(path.rbegin(), path.rend() - stepOf[current]);
  size_t first = 0;
  for (size_t i = 1; i < cycle.size(); ++i) {
    if (gates_[cycle[i]].line < gates_[cycle[first]].line) first = i;
  }
  constexpr size_t kShown = 8;
  std::string text = "combinational cycle: ";
  for (size_t i = 0; i < cycle.size() && i < kShown; ++i) {
    text += std::string(signals_[gates_[cycle[(first + i) % cycle.size()]].output].name);
    text += " -> ";
  }
  if (cycle.size() > kShown) text += "... -> ";
  text += std::string(signals_[gates_[cycle[first]].output].name);
  if (cycle.size() > kShown) text += " (" + std::to_string(cycle.size()) + " gates)";
  throw ConversionError(gates_[cycle[first]].line, text);
}

void AppendInt(std::string& out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string Reader::Write() {
  // Fan-out of node k: the fan-in entries that name it.
  std::vector<int> fanout(static_cast<size_t>(nodeCount_) + 1, 0);
  for (const Gate& g : gates_) {
    if (g.info->kind == GateKind::kDff) continue;
    for (int k = 0; k < g.inputCount; ++k) ++fanout[signals_[inputs_[g.firstInput + k]].node];
  }
  for (int signal : outputs_) {
    if (signals_[signal].source != Source::kGate) ++fanout[signals_[signal].node];
  }

  std::string out;
  out.reserve(inputs_.size() * 10 + static_cast<size_t>(nodeCount_) * 16 + 64);
  AppendInt(out, gateCount_);
  out += " 0 0 ";
  AppendInt(out, static_cast<long long>(outputs_.size()));
  out += ' ';
  AppendInt(out, nodeCount_);
  out += '\n';

  auto writePrimaryInput = [&](int signal) {
    out += "pri ";
    AppendInt(out, fanout[signals_[signal].node]);
    out += " 0\n";
  };
  for (int signal : primaryInputs_) writePrimaryInput(signal);
  for (const Gate& g : gates_) {
    if (g.info->kind == GateKind::kDff) writePrimaryInput(g.output);
  }
  for (const Gate& g : gates_) {
    if (g.info->kind == GateKind::kDff) continue;
    const Signal& s = signals_[g.output];
    if (s.output) out += "po ";
    out += g.info->libraryName;
    out += ' ';
    AppendInt(out, fanout[s.node]);
    out += ' ';
    AppendInt(out, g.inputCount);
    for (int k = 0; k < g.inputCount; ++k) {
      out += ' ';
      AppendInt(out, signals_[inputs_[g.firstInput + k]].node);
      out += " 0 0";
    }
    out += '\n';
  }
  for (int signal : outputs_) {
    if (signals_[signal].source == Source::kGate) continue;
    out += "po BUF 0 1 ";
    AppendInt(out, signals_[signal].node);
    out += " 0 0\n";
  }
  return out;
}

}  // namespace

Result Convert(std::istream& in, const std::string& fileName) {
  Result result;
  try {
    Reader reader;
    reader.Read(in);
    result.netlist = reader.Write();
    result.ok = true;
  } catch (const ConversionError& e) {
    result.error = fileName + ":";
    if (e.line > 0) result.error += std::to_string(e.line) + ":";
    result.error += " " + e.message;
  }
  return result;
}

int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  static const char kUsage[] = "usage: bench2net CIRCUIT.bench > CIRCUIT.net";
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    out << kUsage << '\n';
    return out ? 0 : 1;
  }
  if (argc != 2) {
    err << "bench2net: " << kUsage << '\n';
    return 1;
  }
  const std::string fileName = argv[1];
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) {
    err << "bench2net: cannot read '" << fileName << "': is a directory\n";
    return 1;
  }
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    const int code = errno;
    err << "bench2net: cannot open '" << fileName << "'";
    if (code != 0) err << ": " << std::strerror(code);
    err << '\n';
    return 1;
  }
  const Result result = Convert(in, fileName);
  if (!result.ok) {
    err << "bench2net: " << result.error << '\n';
    return 1;
  }
  out.write(result.netlist.data(), static_cast<std::streamsize>(result.netlist.size()));
  out.flush();
  if (!out) {
    err << "bench2net: error writing the netlist to standard output\n";
    return 1;
  }
  return 0;
}

}  // namespace bench2net
