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

}  // namespace

void ReadAiger(std::string_view text, Source& source) {
  Cursor in(text);
  const std::string_view header = in.NextLine("the header");
  const bool binary = header.substr(0, 4) == "aig ";
  if (!binary && header.substr(0, 4) != "aag ") {
    throw SourceError{1, "not an AIGER file: the header must start with 'aag' or 'aig'"};
  }
  const std::vector<uint64_t> h =
      Numbers(header.substr(4), 1, "header, expected 'M I L O A'", 5, 9);
  const uint64_t maxVar = h[0], nIn = h[1], nLatch = h[2], nOut = h[3], nAnd = h[4];
  const uint64_t nBad = h.size() > 5 ? h[5] : 0;
  if (h.size() > 6 && h[6] > 0) throw SourceError{1, "invariant constraints (C) are not supported"};
  if ((h.size() > 7 && h[7] > 0) || (h.size() > 8 && h[8] > 0)) {
    throw SourceError{1, "justice and fairness properties (J, F) are not supported"};
  }
  // Every count is bounded by the file: each takes at least one byte.
  const uint64_t limit = text.size() + 1;
  if (nIn > limit || nLatch > limit || nOut > limit || nAnd > limit || nBad > limit ||
      maxVar > 3 * limit || (binary && maxVar != nIn + nLatch + nAnd) ||
      nIn + nLatch + nAnd > maxVar) {
    throw SourceError{1, "header counts do not fit together or the file"};
  }
  source.aigerVariables = true;
  source.nets.resize(maxVar + 1);
  source.nets[0].driver = Source::Driver::kFalse;
  const uint64_t maxLiteral = 2 * maxVar + 1;
  const auto literal = [&](uint64_t value, int line) {
    if (value > maxLiteral) {
      throw SourceError{line, "literal " + std::to_string(value) + " above the maximum " +
                                  std::to_string(maxLiteral)};
    }
    const int net = static_cast<int>(value >> 1);
    if (source.nets[net].firstUse == 0) source.nets[net].firstUse = line;
    return static_cast<Source::Literal>(value);
  };
  const auto define = [&](uint64_t value, Source::Driver driver, int line) {
    if (value > maxLiteral || (value & 1) || value < 2) {
      throw SourceError{line, "literal " + std::to_string(value) +
                                  " cannot be defined (odd, constant or above the maximum)"};
    }
    const int net = static_cast<int>(value >> 1);
    if (source.nets[net].driver != Source::Driver::kNone) {
      throw SourceError{line, "literal " + std::to_string(value) +
                                  " defined twice (first at line " +
                                  std::to_string(source.nets[net].line) + ")"};
    }
    if (driver != Source::Driver::kDefinition) source.Drive(net, driver, line);
    return net;
  };

  for (uint64_t k = 0; k < nIn; ++k) {
    if (binary) {
      define(2 * (k + 1), Source::Driver::kInput, 1);
      source.inputs.push_back(static_cast<int>(k + 1));
      continue;
    }
    const std::string_view line = in.NextLine("the inputs");
    const uint64_t value = Numbers(line, in.line(), "input line", 1, 1)[0];
    source.inputs.push_back(define(value, Source::Driver::kInput, in.line()));
  }
  std::vector<Source::Literal> next;
  std::vector<int> nextLine;
  for (uint64_t k = 0; k < nLatch; ++k) {
    const std::string_view line = in.NextLine("the latches");
    const std::vector<uint64_t> v =
        Numbers(line, in.line(), "latch line", binary ? 1 : 2, binary ? 2 : 3);
    const uint64_t current = binary ? 2 * (nIn + k + 1) : v[0];
    source.flops.push_back(define(current, Source::Driver::kFlop, in.line()));
    next.push_back(literal(v[binary ? 0 : 1], in.line()));
    nextLine.push_back(in.line());
  }
  std::vector<Source::Literal> outs;
  std::vector<int> outLine;
  for (uint64_t k = 0; k < nOut + nBad; ++k) {
    const std::string_view line =
        in.NextLine(k < nOut ? "the outputs" : "the bad-state properties");
    outs.push_back(literal(Numbers(line, in.line(), "output line", 1, 1)[0], in.line()));
    outLine.push_back(in.line());
  }
  std::vector<Source::Literal> fanins(2);
  for (uint64_t k = 0; k < nAnd; ++k) {
    uint64_t lhs, rhs0, rhs1;
    int line;
    if (binary) {
      line = in.line() + 1;
      lhs = 2 * (nIn + nLatch + k + 1);
      const uint64_t d0 = in.NextDelta();
      const uint64_t d1 = in.NextDelta();
      if (d0 == 0 || d0 > lhs || d1 > lhs - d0) {
        throw SourceError{line, "AND gate " + std::to_string(lhs) + ": malformed encoding"};
      }
      rhs0 = lhs - d0;
      rhs1 = rhs0 - d1;
    } else {
      const std::string_view text = in.NextLine("the AND gates");
      line = in.line();
      const std::vector<uint64_t> v = Numbers(text, line, "AND line", 3, 3);
      lhs = v[0], rhs0 = v[1], rhs1 = v[2];
    }
    const int net = define(lhs, Source::Driver::kDefinition, line);
    fanins[0] = literal(rhs0, line);
    fanins[1] = literal(rhs1, line);
    source.Define(Source::Kind::kAndOfLiterals, 0, net, fanins, line);
  }

  // Symbols: i, l, o and b entries name inputs, latches, outputs and bad-state properties;
  // a line "c" starts the comments.
  std::vector<std::string_view> outName(nOut + nBad), latchName(nLatch), inName(nIn);
  while (!in.AtEnd()) {
    const std::string_view line = in.NextLine("");
    if (line == "c" || line.substr(0, 2) == "c ") break;
    const size_t space = line.find(' ');
    const char kind = line.empty() ? '?' : line[0];
    uint64_t index = 0;
    bool ok = space != std::string_view::npos && space > 1 && space + 1 < line.size();
    for (size_t i = 1; ok && i < space; ++i) {
      ok = line[i] >= '0' && line[i] <= '9' && index < limit;
      index = index * 10 + static_cast<uint64_t>(line[i] - '0');
    }
    std::vector<std::string_view>* names = kind == 'i'   ? &inName
                                           : kind == 'l' ? &latchName
                                           : kind == 'o' ? &outName
                                           : kind == 'b' ? &outName
                                                         : nullptr;
    if (kind == 'b') index += nOut;
    if (!ok || names == nullptr || index >= names->size()) {
      if (line.empty() && in.AtEnd()) break;
      throw SourceError{in.line(),
                        "malformed symbol, expected 'i', 'l', 'o' or 'b', a position "
                        "and a name"};
    }
    (*names)[index] = line.substr(space + 1);
  }
  const auto nameOr = [&source](std::string_view name, const std::string& fallback) {
    if (!name.empty()) return name;
    source.ownedNames.push_back(fallback);
    return std::string_view(source.ownedNames.back());
  };
  for (uint64_t k = 0; k < nIn; ++k) {
    source.nets[source.inputs[k]].name = nameOr(inName[k], "i" + std::to_string(k));
  }
  for (uint64_t k = 0; k < nLatch; ++k) {
    const std::string_view name = nameOr(latchName[k], "l" + std::to_string(k));
    source.nets[source.flops[k]].name = name;
    latchName[k] = name;
  }
  for (uint64_t k = 0; k < nOut + nBad; ++k) {
    const std::string fallback =
        k < nOut ? "o" + std::to_string(k) : "b" + std::to_string(k - nOut);
    source.outputs.push_back({nameOr(outName[k], fallback), outs[k], outLine[k]});
  }
  for (uint64_t k = 0; k < nLatch; ++k) {
    source.outputs.push_back(
        {nameOr({}, std::string(latchName[k]) + "$next"), next[k], nextLine[k]});
  }
}

}  // namespace tambril::import
