// The netlist reader: a header of five counts, then one line per node (primary input, gate or
// primary output) listing the node's drivers in pin order.
#include <algorithm>
#include <cstring>
#include <string>

#include "io/error.h"
#include "io/text.h"
#include "model/hugePages.h"
#include "model/netlist.h"

using namespace tambril;

namespace {

const CGateType* FindType(const std::vector<CGateType>& types, const char* name) {
  // gateTypes is sorted by name and its names are unique.
  const auto found = std::lower_bound(
      types.begin(), types.end(), name,
      [](const CGateType& type, const char* key) { return std::strcmp(type.name, key) < 0; });
  if (found == types.end() || std::strcmp(found->name, name) != 0) return nullptr;
  return &*found;
}

}  // namespace

void CNetlist::BindLibraryRow(CGate& gate) const {
  const std::string name = gate.name;
  // Those names mark node kinds; no gate may carry them.
  if (IsReservedNodeName(name)) throw CannotRead(name);
  const CGateType* type = FindType(gateTypes, gate.name);
  if (type == nullptr || gate.fanInCount <= 0) throw CannotRead(name);
  CGateData probe;
  probe.key = gate.fanInCount;
  const auto row = std::lower_bound(type->data.begin(), type->data.end(), probe);
  if (row == type->data.end() || row->key != gate.fanInCount) throw CannotRead(name);
  gate.unitInputCap = row->unitInputCap;
  gate.unitResistance = row->unitResistance;
  gate.unitOutputCap = row->unitOutputCap;
}

void CNetlist::InputNetlist(const char* netlistFileName) {
  const std::string fileName = netlistFileName;
  std::string text = ReadInputFile(fileName);

  // The header: exactly five integers, the last the number of node lines, at least one.
  LineReader lines(text);
  std::string_view line;
  int header[5];
  if (!lines.Next(line) || !ParseIntegerLine(line, header, 5) || header[4] < 1) {
    throw CannotParse(fileName);
  }
  circuitSize = header[0];
  headerValue2 = header[1];
  headerValue3 = header[2];
  outputCount = header[3];
  nodeLineCount = header[4];

  // Never reserve more than the file can hold: the header is not to be trusted.
  parts.reserve(std::min<size_t>(static_cast<size_t>(nodeLineCount), lines.CountRemaining()) + 2);
  AdviseHugePages(parts.data(), parts.capacity() * sizeof(PartType));
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
    if (primaryOutput || !IsPrimaryInputNode(gate)) BindLibraryRow(gate);

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
  text.clear();
  text.shrink_to_fit();

  BuildGraph(fileName);
}
