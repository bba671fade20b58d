#include "common/netlistReader.h"

#include <string>

#include "common/lineError.h"
#include "io/text.h"

namespace tambril::tools {
namespace {

bool ParseCount(std::string_view token, uint64_t& value) {
  if (token.empty() || token.size() > 12 ||
      token.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  value = 0;
  for (char c : token) value = value * 10 + static_cast<uint64_t>(c - '0');
  return true;
}

// One node line: "pri FANOUT 0" or "[po ]TYPE FANOUT FANIN" and a triple "DRIVER V1 V2" per pin.
void ReadNode(std::string_view line, int number, uint64_t nodes, Netlist& netlist,
              std::vector<uint64_t>& fanout) {
  Tokenizer tokens(line, kNetlistSeparators);
  std::string_view token;
  if (!tokens.Next(token)) throw LineError{number, "empty node line"};
  const bool output = token == "po";
  if (output && !tokens.Next(token)) throw LineError{number, "malformed node line"};
  const std::string_view type = token;
  uint64_t count = 0, declared = 0;
  if (!tokens.Next(token) || !ParseCount(token, declared) || !tokens.Next(token) ||
      !ParseCount(token, count)) {
    throw LineError{number, "malformed node line"};
  }
  GateType gate = kBuf;
  const bool input = type == "pri";
  if (input ? count != 0 || output : !GateTypeFromName(type, gate) || count < 1) {
    throw LineError{number, "node of type '" + std::string(type) + "' cannot be written"};
  }
  if (!input && count > static_cast<uint64_t>(WidestRow(gate)) && WidestRow(gate) == 1) {
    throw LineError{number, std::string(type) + " with more than one input"};
  }
  netlist.type.push_back(input ? Netlist::kInput : static_cast<uint8_t>(gate));
  netlist.output.push_back(output);
  fanout.push_back(declared);
  for (uint64_t k = 0; k < count; ++k) {
    uint64_t driver = 0;
    if (!tokens.Next(token) || !ParseCount(token, driver) || driver < 1 || driver > nodes ||
        !tokens.Next(token) || !tokens.Next(token)) {
      throw LineError{number, "malformed fan-in " + std::to_string(k + 1)};
    }
    netlist.fanins.push_back(static_cast<uint32_t>(driver));
  }
  netlist.faninStart.push_back(static_cast<uint32_t>(netlist.fanins.size()));
  if (tokens.Next(token)) throw LineError{number, "more tokens than fan-ins"};
}

// Each node's fan-out count against the pins it drives, then the order of Kahn's algorithm;
// a node left over lies on a cycle or behind one: walking back through left-over drivers finds
// the cycle. Node k is on line k + 1.
void CheckGraph(const Netlist& netlist, const std::vector<uint64_t>& fanout) {
  const size_t n = netlist.Nodes();
  std::vector<uint64_t> driven(n, 0);
  for (uint32_t driver : netlist.fanins) ++driven[driver - 1];
  for (size_t k = 0; k < n; ++k) {
    if (driven[k] != fanout[k]) {
      throw LineError{static_cast<int>(k + 2),
                      "fan-out count " + std::to_string(fanout[k]) + " differs from the " +
                          std::to_string(driven[k]) + " pins the node drives"};
    }
  }
  std::vector<uint32_t> start(n + 1, 0), receivers(netlist.fanins.size());
  for (uint32_t driver : netlist.fanins) ++start[driver];
  for (size_t k = 0; k < n; ++k) start[k + 1] += start[k];
  std::vector<uint32_t> fill(start.begin(), start.end() - 1), pending(n);
  std::vector<uint32_t> ready;
  for (size_t k = 0; k < n; ++k) {
    pending[k] = static_cast<uint32_t>(netlist.FaninCount(k));
    for (size_t pin = 0; pin < netlist.FaninCount(k); ++pin) {
      receivers[fill[netlist.Fanin(k, pin) - 1]++] = static_cast<uint32_t>(k);
    }
    if (pending[k] == 0) ready.push_back(static_cast<uint32_t>(k));
  }
  for (size_t head = 0; head < ready.size(); ++head) {
    for (uint32_t r = start[ready[head]]; r < start[ready[head] + 1]; ++r) {
      if (--pending[receivers[r]] == 0) ready.push_back(receivers[r]);
    }
  }
  if (ready.size() == n) return;
  size_t node = 0;
  while (pending[node] == 0) ++node;
  std::vector<char> seen(n, 0);
  while (!seen[node]) {
    seen[node] = 1;
    for (size_t pin = 0; pin < netlist.FaninCount(node); ++pin) {
      const size_t driver = netlist.Fanin(node, pin) - 1;
      if (pending[driver] > 0) {
        node = driver;
        break;
      }
    }
  }
  throw LineError{static_cast<int>(node + 2),
                  "node " + std::to_string(node + 1) + " lies on a combinational cycle"};
}

}  // namespace

Netlist ReadNetlist(std::string_view text) {
  LineReader lines(text);
  std::string_view line, token;
  uint64_t header[5];
  if (!lines.Next(line)) throw LineError{1, "empty netlist"};
  Tokenizer tokens(line, kNetlistSeparators);
  for (uint64_t& value : header) {
    if (!tokens.Next(token) || !ParseCount(token, value)) {
      throw LineError{1, "malformed header, expected five counts"};
    }
  }
  if (tokens.Next(token)) throw LineError{1, "malformed header, expected five counts"};
  const uint64_t n = header[4];
  if (n < 1 || n > text.size() || n > UINT32_MAX) throw LineError{1, "node count out of range"};
  Netlist netlist;
  netlist.faninStart.push_back(0);
  std::vector<uint64_t> fanout;
  int number = 1;
  for (uint64_t k = 0; k < n; ++k) {
    ++number;
    if (!lines.Next(line)) throw LineError{number, "fewer node lines than the header says"};
    ReadNode(line, number, n, netlist, fanout);
  }
  while (lines.Next(line)) {
    ++number;
    if (!IsBlank(line)) throw LineError{number, "more node lines than the header says"};
  }
  CheckGraph(netlist, fanout);
  return netlist;
}

}  // namespace tambril::tools
