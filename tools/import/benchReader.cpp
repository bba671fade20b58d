#include <string>
#include <vector>

#include "import/readers.h"

namespace tambril::import {
namespace {

bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

constexpr int kDff = -1;

struct GateName {
  std::string_view name;  // upper case; matched in any case
  int type;               // a GateType, or kDff
};

constexpr GateName kGates[] = {
    {"AND", static_cast<int>(GateType::kAnd)}, {"NAND", static_cast<int>(GateType::kNand)},
    {"OR", static_cast<int>(GateType::kOr)},   {"NOR", static_cast<int>(GateType::kNor)},
    {"XOR", static_cast<int>(GateType::kXor)}, {"XNOR", static_cast<int>(GateType::kXnor)},
    {"NOT", static_cast<int>(GateType::kInv)}, {"BUFF", static_cast<int>(GateType::kBuf)},
    {"BUF", static_cast<int>(GateType::kBuf)}, {"DFF", kDff},
};

enum class Tok { kName, kOpen, kClose, kComma, kEquals };
struct Token {
  Tok kind;
  std::string_view text;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

Tok KindOf(char c) {
  switch (c) {
    case '(':
      return Tok::kOpen;
    case ')':
      return Tok::kClose;
    case ',':
      return Tok::kComma;
    case '=':
      return Tok::kEquals;
    default:
      return Tok::kName;
  }
}

// Names and the punctuation ( ) , = of one line, its comment removed.
void Tokenize(std::string_view line, std::vector<Token>& tokens) {
  tokens.clear();
  size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    if (KindOf(line[i]) != Tok::kName) {
      tokens.push_back({KindOf(line[i]), line.substr(i, 1)});
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i]) && KindOf(line[i]) == Tok::kName) ++i;
    tokens.push_back({Tok::kName, line.substr(start, i - start)});
  }
}

const char kForms[] =
    "malformed line, expected 'INPUT(name)', 'OUTPUT(name)' or 'name = GATE(input, ...)'";
const char kMalformedGate[] = "malformed gate line, expected 'name = GATE(input, ...)'";

}  // namespace

void ReadBench(std::string_view text, Source& source) {
  std::vector<Token> t;
  std::vector<std::string_view> inputNames;
  std::vector<Source::Literal> fanins;
  std::vector<Source::Output> dffData;
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (lineNumber == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    line = line.substr(0, line.find('#'));
    Tokenize(line, t);
    if (t.empty()) continue;
    const bool gateLine = t.size() >= 2 && t[0].kind == Tok::kName && t[1].kind == Tok::kEquals;
    if (!gateLine) {
      const bool isInput = t.size() >= 2 && t[1].kind == Tok::kOpen && t[0].kind == Tok::kName &&
                           EqualsIgnoringCase(t[0].text, "INPUT");
      const bool isOutput = t.size() >= 2 && t[1].kind == Tok::kOpen && t[0].kind == Tok::kName &&
                            EqualsIgnoringCase(t[0].text, "OUTPUT");
      if (!isInput && !isOutput) throw SourceError{lineNumber, kForms};
      const std::string keyword = isInput ? "INPUT" : "OUTPUT";
      if (t.size() != 4 || t[2].kind != Tok::kName || t[3].kind != Tok::kClose) {
        throw SourceError{lineNumber,
                          "malformed " + keyword + " line, expected '" + keyword + "(name)'"};
      }
      if (isInput) {
        const int net = source.Intern(t[2].text, 0);
        source.Drive(net, Source::Driver::kInput, lineNumber);
        source.inputs.push_back(net);
      } else {
        const int net = source.Intern(t[2].text, lineNumber);
        source.outputs.push_back({t[2].text, 2 * net, lineNumber});
      }
      continue;
    }
    // name = GATE(input, ...)
    if (t.size() < 5 || t[2].kind != Tok::kName || t[3].kind != Tok::kOpen) {
      throw SourceError{lineNumber, kMalformedGate};
    }
    inputNames.clear();
    size_t i = 4;
    if (t[i].kind == Tok::kClose) {
      ++i;
    } else {
      for (;;) {
        if (i >= t.size() || t[i].kind != Tok::kName) throw SourceError{lineNumber, kMalformedGate};
        inputNames.push_back(t[i++].text);
        if (i >= t.size()) throw SourceError{lineNumber, kMalformedGate};
        const Tok separator = t[i++].kind;
        if (separator == Tok::kClose) break;
        if (separator != Tok::kComma) throw SourceError{lineNumber, kMalformedGate};
      }
    }
    if (i != t.size()) throw SourceError{lineNumber, kMalformedGate};
    const GateName* gate = nullptr;
    for (const GateName& g : kGates) {
      if (EqualsIgnoringCase(t[2].text, g.name)) gate = &g;
    }
    if (gate == nullptr) {
      throw SourceError{lineNumber, "unknown gate type '" + std::string(t[2].text) + "'"};
    }
    const std::string outName(t[0].text);
    if (inputNames.empty()) throw SourceError{lineNumber, "gate '" + outName + "' has no inputs"};
    const bool single = gate->type == kDff || gate->type == static_cast<int>(GateType::kInv) ||
                        gate->type == static_cast<int>(GateType::kBuf);
    if (single && inputNames.size() != 1) {
      throw SourceError{lineNumber, std::string(gate->name) + " gate '" + outName + "' has " +
                                        std::to_string(inputNames.size()) + " inputs, expected 1"};
    }
    const int out = source.Intern(t[0].text, 0);
    fanins.clear();
    for (std::string_view name : inputNames) fanins.push_back(2 * source.Intern(name, lineNumber));
    if (gate->type == kDff) {
      source.Drive(out, Source::Driver::kFlop, lineNumber);
      source.flops.push_back(out);
      dffData.push_back({inputNames[0], fanins[0], lineNumber});
    } else {
      source.Define(Source::Kind::kGate, static_cast<uint8_t>(gate->type), out, fanins, lineNumber);
    }
  }
  source.outputs.insert(source.outputs.end(), dffData.begin(), dffData.end());
}

}  // namespace tambril::import
