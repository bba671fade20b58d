// The netlist reader: a header of five counts, then one line per node (primary input, gate or
// primary output) listing the node's drivers in pin order.
#include "input/netlistReader.h"

#include <algorithm>
#include <string>

#include "io/error.h"
#include "io/text.h"
#include "model/library.h"

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

}  // namespace

void ReadNetlist(const std::string& fileName, const std::vector<CGateType>& types,
                 NetlistHeader& counts, std::vector<PartType>& parts) {
  std::string text = ReadInputFile(fileName);

  // The header: exactly five integers, the last the number of node lines, at least one.
  LineReader lines(text);
  std::string_view line;
  int header[5];
  if (!lines.Next(line) || !ParseIntegerLine(line, header, 5) || header[4] < 1) {
    throw CannotParse(fileName);
  }
  counts.circuitSize = header[0];
  counts.value2 = header[1];
  counts.value3 = header[2];
  counts.outputCount = header[3];
  counts.nodeLineCount = header[4];
  const int nodeLineCount = counts.nodeLineCount;

  // The records are not advised for huge pages. They are written once, in order, and read a
  // few times; on a virtual machine that hands freed memory back to its host, fresh huge pages
  // are slow to touch, and a run of a million gates after a pause took 0.34 s longer with the
  // advice (it saved 0.13 s only when runs followed one another closely).
  // Never reserve more than the file can hold: the header is not to be trusted.
  parts.reserve(std::min<size_t>(static_cast<size_t>(nodeLineCount), lines.CountRemaining()) + 2);
  for (int k = 1; k <= nodeLineCount; ++k) {
    if (!lines.Next(line)) throw CannotParse(fileName);
    parts.emplace_back();
    CGate& gate = parts.back().gate;
    std::vector<PartInfo>& fanIns = parts.back().fanIns;
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
  // The header counts every node line: anything after them but blank lines is not this file.
  while (lines.Next(line)) {
    if (!IsBlank(line)) throw CannotParse(fileName);
  }
}

}  // namespace tambril
