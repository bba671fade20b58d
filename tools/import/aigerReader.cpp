#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "import/readers.h"

namespace tambril::import {
namespace {

// Reads the text part of an AIGER file line by line, and the binary AND section.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : rest_(text) {}
  int line() const { return line_; }
  bool AtEnd() const { return rest_.empty(); }

  std::string_view NextLine(const char* what) {
    if (rest_.empty()) throw SourceError{line_ + 1, std::string("file ends before ") + what};
    const size_t end = rest_.find('\n');
    std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    ++line_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

  // One unsigned number of the binary AND section (seven bits a byte, low first).
  uint64_t NextDelta() {
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
      if (rest_.empty()) throw SourceError{line_ + 1, "file ends inside the AND gates"};
      if (shift > 56) throw SourceError{line_ + 1, "malformed AND gate encoding"};
      const uint8_t byte = static_cast<uint8_t>(rest_[0]);
      rest_.remove_prefix(1);
      value |= uint64_t(byte & 0x7f) << shift;
      if ((byte & 0x80) == 0) return value;
    }
  }

 private:
  std::string_view rest_;
  int line_ = 0;
};

// Whitespace-separated unsigned numbers of one line, exactly `count` of them when count >= 0.
std::vector<uint64_t> Numbers(std::string_view line, int lineNumber, const char* what,
                              size_t minimum, size_t maximum) {
  std::vector<uint64_t> values;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    if (line[i] < '0' || line[i] > '9') {
      throw SourceError{lineNumber, std::string("malformed ") + what};
    }
    uint64_t value = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
      if (value > (UINT64_MAX - 9) / 10) throw SourceError{lineNumber, "number too large"};
      value = value * 10 + static_cast<uint64_t>(line[i++] - '0');
    }
    values.push_back(value);
  }
  if (values.size() < minimum || values.size() > maximum) {
    throw SourceError{lineNumber, std::string("malformed ") + what};
  }
  return values;
}

// Reads an AIGER file into a Source: the header, then each section in file order, then the
// symbol table, and last the names of what the symbols left unnamed.
class AigerReader {
 public:
  AigerReader(std::string_view text, Source& source)
      : in_(text), source_(source), limit_(text.size() + 1) {}

  void Read() {
    Header();
    Inputs();
    Latches();
    Outputs();
    for (uint64_t k = 0; k < nAnd_; ++k) And(k);
    Symbols();
    Name();
  }

 private:
  void Header() {
    const std::string_view header = in_.NextLine("the header");
    binary_ = header.substr(0, 4) == "aig ";
    if (!binary_ && header.substr(0, 4) != "aag ") {
      throw SourceError{1, "not an AIGER file: the header must start with 'aag' or 'aig'"};
    }
    const std::vector<uint64_t> h =
        Numbers(header.substr(4), 1, "header, expected 'M I L O A'", 5, 9);
    maxVar_ = h[0], nIn_ = h[1], nLatch_ = h[2], nOut_ = h[3], nAnd_ = h[4];
    nBad_ = h.size() > 5 ? h[5] : 0;
    if (h.size() > 6 && h[6] > 0) {
      throw SourceError{1, "invariant constraints (C) are not supported"};
    }
    if ((h.size() > 7 && h[7] > 0) || (h.size() > 8 && h[8] > 0)) {
      throw SourceError{1, "justice and fairness properties (J, F) are not supported"};
    }
    // Every count is bounded by the file: each takes at least one byte.
    if (nIn_ > limit_ || nLatch_ > limit_ || nOut_ > limit_ || nAnd_ > limit_ || nBad_ > limit_ ||
        maxVar_ > 3 * limit_ || (binary_ && maxVar_ != nIn_ + nLatch_ + nAnd_) ||
        nIn_ + nLatch_ + nAnd_ > maxVar_) {
      throw SourceError{1, "header counts do not fit together or the file"};
    }
    source_.aigerVariables = true;
    source_.nets.resize(maxVar_ + 1);
    source_.nets[0].driver = Source::Driver::kFalse;
    maxLiteral_ = 2 * maxVar_ + 1;
  }

  // A literal that the file reads at `line`.
  Source::Literal Use(uint64_t value, int line) {
    if (value > maxLiteral_) {
      throw SourceError{line, "literal " + std::to_string(value) + " above the maximum " +
                                  std::to_string(maxLiteral_)};
    }
    const int net = static_cast<int>(value >> 1);
    if (source_.nets[net].firstUse == 0) source_.nets[net].firstUse = line;
    return static_cast<Source::Literal>(value);
  }

  // The variable of a literal that the file defines at `line`.
  int Define(uint64_t value, Source::Driver driver, int line) {
    if (value > maxLiteral_ || (value & 1) || value < 2) {
      throw SourceError{line, "literal " + std::to_string(value) +
                                  " cannot be defined (odd, constant or above the maximum)"};
    }
    const int net = static_cast<int>(value >> 1);
    if (source_.nets[net].driver != Source::Driver::kNone) {
      throw SourceError{line, "literal " + std::to_string(value) +
                                  " defined twice (first at line " +
                                  std::to_string(source_.nets[net].line) + ")"};
    }
    if (driver != Source::Driver::kDefinition) source_.Drive(net, driver, line);
    return net;
  }

  void Inputs() {
    for (uint64_t k = 0; k < nIn_; ++k) {
      if (binary_) {
        Define(2 * (k + 1), Source::Driver::kInput, 1);
        source_.inputs.push_back(static_cast<int>(k + 1));
        continue;
      }
      const std::string_view line = in_.NextLine("the inputs");
      const uint64_t value = Numbers(line, in_.line(), "input line", 1, 1)[0];
      source_.inputs.push_back(Define(value, Source::Driver::kInput, in_.line()));
    }
  }

  // "CURRENT NEXT [INIT]" (binary: "NEXT [INIT]"): the latch's output is cut as an input, its
  // next state becomes an output.
  void Latches() {
    for (uint64_t k = 0; k < nLatch_; ++k) {
      const std::string_view line = in_.NextLine("the latches");
      const std::vector<uint64_t> v =
          Numbers(line, in_.line(), "latch line", binary_ ? 1 : 2, binary_ ? 2 : 3);
      const uint64_t current = binary_ ? 2 * (nIn_ + k + 1) : v[0];
      // The initial value: 0 (the default), 1, or the latch's own literal (not initialised).
      const size_t init = binary_ ? 1 : 2;
      if (v.size() > init && v[init] > 1 && v[init] != current) {
        throw SourceError{in_.line(), "latch initial value " + std::to_string(v[init]) +
                                          ", expected 0, 1 or " + std::to_string(current)};
      }
      source_.flops.push_back(Define(current, Source::Driver::kFlop, in_.line()));
      next_.push_back(Use(v[binary_ ? 0 : 1], in_.line()));
      nextLine_.push_back(in_.line());
    }
  }

  // The outputs, then the bad-state properties, which are outputs too.
  void Outputs() {
    for (uint64_t k = 0; k < nOut_ + nBad_; ++k) {
      const std::string_view line =
          in_.NextLine(k < nOut_ ? "the outputs" : "the bad-state properties");
      outs_.push_back(Use(Numbers(line, in_.line(), "output line", 1, 1)[0], in_.line()));
      outLine_.push_back(in_.line());
    }
  }

  // AND gate k: "LHS RHS0 RHS1", or in a binary file two deltas below its implicit LHS.
  void And(uint64_t k) {
    uint64_t lhs, rhs0, rhs1;
    int line;
    if (binary_) {
      line = in_.line() + 1;
      lhs = 2 * (nIn_ + nLatch_ + k + 1);
      const uint64_t d0 = in_.NextDelta();
      const uint64_t d1 = in_.NextDelta();
      if (d0 == 0 || d0 > lhs || d1 > lhs - d0) {
        throw SourceError{line, "AND gate " + std::to_string(lhs) + ": malformed encoding"};
      }
      rhs0 = lhs - d0;
      rhs1 = rhs0 - d1;
    } else {
      const std::string_view text = in_.NextLine("the AND gates");
      line = in_.line();
      const std::vector<uint64_t> v = Numbers(text, line, "AND line", 3, 3);
      lhs = v[0], rhs0 = v[1], rhs1 = v[2];
    }
    const int net = Define(lhs, Source::Driver::kDefinition, line);
    fanins_[0] = Use(rhs0, line);
    fanins_[1] = Use(rhs1, line);
    source_.Define(Source::Kind::kAndOfLiterals, 0, net, fanins_, line);
  }

  // Symbols: i, l, o and b entries name inputs, latches, outputs and bad-state properties;
  // a line "c" starts the comments.
  void Symbols() {
    inName_.resize(nIn_);
    latchName_.resize(nLatch_);
    outName_.resize(nOut_ + nBad_);
    while (!in_.AtEnd()) {
      const std::string_view line = in_.NextLine("");
      if (line == "c" || line.substr(0, 2) == "c ") break;
      const size_t space = line.find(' ');
      const char kind = line.empty() ? '?' : line[0];
      uint64_t index = 0;
      bool ok = space != std::string_view::npos && space > 1 && space + 1 < line.size();
      for (size_t i = 1; ok && i < space; ++i) {
        ok = line[i] >= '0' && line[i] <= '9' && index < limit_;
        index = index * 10 + static_cast<uint64_t>(line[i] - '0');
      }
      std::vector<std::string_view>* names = kind == 'i'   ? &inName_
                                             : kind == 'l' ? &latchName_
                                             : kind == 'o' ? &outName_
                                             : kind == 'b' ? &outName_
                                                           : nullptr;
      if (kind == 'b') index += nOut_;
      if (!ok || names == nullptr || index >= names->size()) {
        if (line.empty() && in_.AtEnd()) break;
        throw SourceError{in_.line(),
                          "malformed symbol, expected 'i', 'l', 'o' or 'b', a position "
                          "and a name"};
      }
      if (!(*names)[index].empty()) {
        throw SourceError{in_.line(),
                          "symbol " + std::string(line.substr(0, space)) + " given twice"};
      }
      const std::string_view name = line.substr(space + 1);
      if (name.find('\0') != std::string_view::npos) {
        throw SourceError{in_.line(), "unexpected NUL byte in a symbol"};
      }
      (*names)[index] = name;
    }
  }

  // The symbol's name, or `fallback` (iK, lK, oK, bK) when the file gives none.
  std::string_view NameOr(std::string_view name, const std::string& fallback) {
    if (!name.empty()) return name;
    source_.ownedNames.push_back(fallback);
    return std::string_view(source_.ownedNames.back());
  }

  // Inputs and latch outputs take their names; the outputs follow the inputs' order: outputs,
  // bad-state properties, then each latch's next state as "NAME$next".
  void Name() {
    for (uint64_t k = 0; k < nIn_; ++k) {
      source_.nets[source_.inputs[k]].name = NameOr(inName_[k], "i" + std::to_string(k));
    }
    for (uint64_t k = 0; k < nLatch_; ++k) {
      latchName_[k] = NameOr(latchName_[k], "l" + std::to_string(k));
      source_.nets[source_.flops[k]].name = latchName_[k];
    }
    for (uint64_t k = 0; k < nOut_ + nBad_; ++k) {
      const std::string fallback =
          k < nOut_ ? "o" + std::to_string(k) : "b" + std::to_string(k - nOut_);
      source_.outputs.push_back({NameOr(outName_[k], fallback), outs_[k], outLine_[k]});
    }
    for (uint64_t k = 0; k < nLatch_; ++k) {
      source_.outputs.push_back(
          {NameOr({}, std::string(latchName_[k]) + "$next"), next_[k], nextLine_[k]});
    }
  }

  Cursor in_;
  Source& source_;
  const uint64_t limit_;  // no count can exceed the bytes of the file
  bool binary_ = false;
  uint64_t maxVar_ = 0, nIn_ = 0, nLatch_ = 0, nOut_ = 0, nAnd_ = 0, nBad_ = 0;
  uint64_t maxLiteral_ = 0;
  std::vector<Source::Literal> next_, outs_, fanins_ = std::vector<Source::Literal>(2);
  std::vector<int> nextLine_, outLine_;
  std::vector<std::string_view> inName_, latchName_, outName_;
};

}  // namespace

size_t AigerBinaryPart(std::string_view head) {
  const size_t end = head.find('\n');
  if (head.substr(0, 4) != "aig " || end == std::string_view::npos) return 0;
  std::vector<uint64_t> h;
  try {
    h = Numbers(head.substr(4, end - 4), 1, "header", 5, 9);
  } catch (const SourceError&) {
    return 0;
  }
  // A latch or output line takes a few numbers, an AND gate two deltas of at most ten bytes.
  constexpr uint64_t kCap = uint64_t{1} << 32;
  const uint64_t lines =
      std::min(h[2], kCap) + std::min(h[3], kCap) + std::min(h.size() > 5 ? h[5] : 0, kCap);
  return end + 1 + static_cast<size_t>(lines * 64 + std::min(h[4], kCap) * 20);
}

void ReadAiger(std::string_view text, Source& source) { AigerReader(text, source).Read(); }

}  // namespace tambril::import
