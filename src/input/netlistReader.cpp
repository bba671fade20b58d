// The netlist reader: a header of five counts, then one line per node (primary input, gate or
// primary output) listing the node's drivers in pin order.
#include "input/netlistReader.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "io/error.h"
#include "io/text.h"
#include "model/library.h"
#include "util/parallel.h"

namespace tambril {

namespace {

void BindLibraryRow(const std::vector<CGateType>& types, CGate& gate) {
  const std::string name = gate.name;
  // Those names mark node kinds; no gate may carry them.
  if (IsReservedNodeName(name)) throw CannotRead(name);
  const CGateType* type = FindType(types, name);
  const CGateData* row =
      type == nullptr || gate.fanInCount <= 0 ? nullptr : FindRow(*type, gate.fanInCount);
  if (row == nullptr) throw CannotRead(name);
  gate.unitInputCap = row->unitInputCap;
  gate.unitResistance = row->unitResistance;
  gate.unitOutputCap = row->unitOutputCap;
  if (row->maxSize > 0) {  // the row's own range, kept within the sizer's bounds
    const auto within = [&](double size) {
      return size < gate.minSize ? gate.minSize : size > gate.maxSize ? gate.maxSize : size;
    };
    const double low = within(row->minSize), high = within(row->maxSize);
    gate.minSize = low;
    gate.maxSize = high;
  }
}

// Reads node line `k` (ids count from 1) into `part`.
void ReadNodeLine(const std::string& fileName, const std::vector<CGateType>& types,
                  std::string_view line, int k, PartType& part) {
  CGate& gate = part.gate;
  std::vector<PartInfo>& fanIns = part.fanIns;
  gate.id = k;

  Tokenizer tokens(line, kNetlistSeparators);
  std::string_view token;
  if (!tokens.Next(token)) throw CannotParse(fileName);
  const bool primaryOutput = token == "po";
  if (primaryOutput) {
    gate.isPrimaryOutput = 1;
    if (!tokens.Next(token)) throw CannotParse(fileName);
  }
  if (token.size() > static_cast<size_t>(CGate::kMaxNameLength)) throw CannotParse(fileName);
  gate.SetName(token);
  if (!tokens.Next(token)) throw CannotParse(fileName);
  gate.fanOutCount = ToInt(token);
  if (!tokens.Next(token)) throw CannotParse(fileName);
  gate.fanInCount = ToInt(token);
  if (primaryOutput || !IsPrimaryInputNode(gate)) BindLibraryRow(types, gate);

  // A triple takes at least six characters, so the line bounds what is worth reserving.
  if (gate.fanInCount > 0) {
    const size_t expected = std::min<size_t>(gate.fanInCount, line.size() / 6 + 1);
    gate.lambdas.reserve(expected);
    gate.inputArrivals.reserve(expected);
    fanIns.reserve(expected);
  }

  for (int pin = 0; pin < gate.fanInCount; ++pin) {
    std::string_view driver, value1, value2;
    if (!tokens.Next(driver) || !tokens.Next(value1) || !tokens.Next(value2)) {
      throw CannotParse(fileName);
    }
    gate.lambdas.push_back(-1.0);
    gate.inputArrivals.push_back(0.0);
    fanIns.push_back(PartInfo{ToInt(driver), pin, ToDouble(value1), ToDouble(value2)});
  }
}

// The text after the header, cut into blocks of kBlockBytes that the threads share out. A
// line belongs to the block that holds its first character, so every block knows where its
// lines begin without reading the blocks before it, and the lines are numbered from the
// count of line starts in the blocks before.
constexpr size_t kBlockBytes = 256;

class Blocks {
 public:
  explicit Blocks(std::string_view text) : text_(text) {}

  int Count() const { return static_cast<int>((text_.size() + kBlockBytes - 1) / kBlockBytes); }
  size_t Begin(int block) const { return std::min(text_.size(), block * kBlockBytes); }

  // Where the first line that begins in [begin, end) begins; `end` when none does. A line
  // begins at the text's start and after every '\n' but a last one. Only the range itself is
  // searched, so that a line of any length costs one search, whatever the blocks it spans.
  size_t FirstLineStart(size_t begin, size_t end) const {
    if (begin == 0) return 0;
    const void* found = std::memchr(text_.data() + begin - 1, '\n', end - begin);
    return found == nullptr ? end : static_cast<const char*>(found) - text_.data() + 1;
  }

  // The number of lines that begin in `block`.
  int LinesIn(int block) const {
    const size_t end = Begin(block + 1);
    int lines = 0;
    for (size_t at = FirstLineStart(Begin(block), end); at < end; ++lines) {
      const void* found = std::memchr(text_.data() + at, '\n', end - 1 - at);
      at = found == nullptr ? end : static_cast<const char*>(found) - text_.data() + 1;
    }
    return lines;
  }

  // The line that begins at `at`, without its '\n', and where the next one begins.
  std::string_view Line(size_t at, size_t& next) const {
    const void* found = std::memchr(text_.data() + at, '\n', text_.size() - at);
    const size_t end =
        found == nullptr ? text_.size() : static_cast<const char*>(found) - text_.data();
    next = found == nullptr ? text_.size() : end + 1;
    return text_.substr(at, end - at);
  }

 private:
  std::string_view text_;
};

}  // namespace

void ReadNetlist(const std::string& fileName, const std::vector<CGateType>& types,
                 NetlistHeader& counts, std::vector<PartType>& parts) {
  std::string text = ReadInputFile(fileName);

  // The header: exactly five integers, the last the number of node lines, at least one.
  const size_t headerEnd = text.find('\n');
  const std::string_view headerLine = std::string_view(text).substr(0, headerEnd);
  int header[5];
  if (text.empty() || !ParseIntegerLine(headerLine, header, 5) || header[4] < 1) {
    throw CannotParse(fileName);
  }
  counts.circuitSize = header[0];
  counts.value2 = header[1];
  counts.value3 = header[2];
  counts.outputCount = header[3];
  counts.nodeLineCount = header[4];
  const int nodeLineCount = counts.nodeLineCount;

  // The node lines are read by blocks, the threads taking runs of them. A run stops at its
  // first error, and the error of the earliest line is the one reported, as reading the lines
  // one after the other would report it.
  const Blocks blocks(headerEnd == std::string::npos
                          ? std::string_view()
                          : std::string_view(text).substr(headerEnd + 1));
  const int blockCount = blocks.Count();
  std::vector<long long> firstLine(static_cast<size_t>(blockCount) + 1, 0);
  ParallelFor(0, blockCount, [&](int first, int last) {
    for (int b = first; b < last; ++b) firstLine[b + 1] = blocks.LinesIn(b);
  });
  for (int b = 0; b < blockCount; ++b) firstLine[b + 1] += firstLine[b];
  const long long lineCount = firstLine[blockCount];

  // The records are not advised for huge pages. They are written once, in order, and read a
  // few times; on a virtual machine that hands freed memory back to its host, fresh huge pages
  // are slow to touch, and a run of a million gates after a pause took 0.34 s longer with the
  // advice (it saved 0.13 s only when runs followed one another closely).
  // Never make more records than the file has lines: the header is not to be trusted.
  const size_t records = static_cast<size_t>(std::min<long long>(nodeLineCount, lineCount));
  parts.reserve(records + 2);
  parts.resize(records);

  std::vector<std::exception_ptr> error(blockCount);
  ParallelFor(0, blockCount, [&](int first, int last) {
    long long k = firstLine[first];  // lines before this one, so the line's number less 1
    const size_t end = blocks.Begin(last);
    try {
      size_t next = 0;
      for (size_t at = blocks.FirstLineStart(blocks.Begin(first), end); at < end; at = next, ++k) {
        const std::string_view line = blocks.Line(at, next);
        if (k < nodeLineCount) {
          ReadNodeLine(fileName, types, line, static_cast<int>(k + 1), parts[k]);
        } else if (!IsBlank(line)) {
          // The header counts every node line: anything after them but blank lines is not
          // this file.
          throw CannotParse(fileName);
        }
      }
    } catch (...) {
      error[first] = std::current_exception();
    }
  });
  for (int b = 0; b < blockCount; ++b) {
    if (error[b] != nullptr) std::rethrow_exception(error[b]);
  }
  if (lineCount < nodeLineCount) throw CannotParse(fileName);  // too few node lines
}

}  // namespace tambril
