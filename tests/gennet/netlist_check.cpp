#include "netlist_check.h"

#include <algorithm>

namespace gennet_test {

namespace {

bool toNumber(const std::string& token, uint64_t& value) {
  if (token.empty() || token.size() > 18) return false;
  value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// Splits on single blanks; an empty token means a doubled, leading or trailing blank.
std::vector<std::string> splitBlanks(const std::string& line) {
  std::vector<std::string> tokens;
  size_t start = 0;
  while (true) {
    const size_t blank = line.find(' ', start);
    tokens.push_back(line.substr(start, blank - start));
    if (blank == std::string::npos) break;
    start = blank + 1;
  }
  return tokens;
}

bool isWideType(const std::string& type) {
  return type == "AND" || type == "NAND" || type == "OR" || type == "NOR" || type == "XOR" ||
         type == "XNOR";
}

}  // namespace

std::vector<std::string> checkNetlist(const std::string& text, uint32_t maxFanin,
                                      CheckedNetlist& out) {
  out = CheckedNetlist();
  out.faninCount.assign(17, 0);
  std::vector<std::string> problems;
  auto problem = [&](size_t line, const std::string& what) {
    if (problems.size() < 20) problems.push_back("line " + std::to_string(line) + ": " + what);
  };

  std::vector<std::string> lines;
  if (text.empty() || text.back() != '\n') {
    problems.push_back("the file does not end with a newline");
    return problems;
  }
  for (size_t start = 0; start < text.size();) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }

  const std::vector<std::string> header = splitBlanks(lines[0]);
  uint64_t head[5] = {};
  bool headerOk = header.size() == 5;
  for (size_t i = 0; headerOk && i < 5; ++i) headerOk = toNumber(header[i], head[i]);
  if (!headerOk || head[1] != 0 || head[2] != 0) {
    problems.push_back("bad header '" + lines[0] + "'");
    return problems;
  }
  const uint64_t nodes = head[4];
  if (lines.size() != nodes + 1) {
    problems.push_back("header announces " + std::to_string(nodes) + " nodes, the file has " +
                       std::to_string(lines.size() - 1));
    return problems;
  }

  out.nodes = static_cast<uint32_t>(nodes);
  std::vector<uint32_t> declaredFanout(nodes, 0);
  std::vector<std::vector<uint32_t>> drivers(nodes);
  std::vector<char> isGate(nodes, 0);
  std::vector<char> isOutput(nodes, 0);
  out.fanout.assign(nodes, 0);

  for (uint64_t k = 0; k < nodes; ++k) {
    const size_t lineNumber = k + 2;
    const std::vector<std::string> tokens = splitBlanks(lines[k + 1]);
    if (tokens.size() < 3) {
      problem(lineNumber, "too few tokens");
      continue;
    }
    size_t at = 0;
    if (tokens[0] == "pri") {
      ++out.inputs;
      uint64_t fanout = 0;
      if (tokens.size() != 3 || !toNumber(tokens[1], fanout) || tokens[2] != "0") {
        problem(lineNumber, "a primary input line is 'pri FANOUT 0'");
      }
      declaredFanout[k] = static_cast<uint32_t>(fanout);
      continue;
    }
    if (tokens[0] == "po") {
      isOutput[k] = 1;
      ++out.outputs;
      at = 1;
    }
    isGate[k] = 1;
    ++out.gates;
    const std::string& type = tokens[at];
    uint64_t fanout = 0;
    uint64_t fanin = 0;
    if (tokens.size() < at + 3 || !toNumber(tokens[at + 1], fanout) ||
        !toNumber(tokens[at + 2], fanin) || tokens.size() != at + 3 + 3 * fanin) {
      problem(lineNumber, "malformed gate line");
      continue;
    }
    declaredFanout[k] = static_cast<uint32_t>(fanout);
    const bool single = type == "INV" || type == "BUF";
    if (!(single && fanin == 1) && !(isWideType(type) && fanin >= 2 && fanin <= 16)) {
      problem(lineNumber, type + " with " + std::to_string(fanin) + " inputs");
    }
    if (fanin < 1 || fanin > maxFanin) problem(lineNumber, "fan-in out of range");
    out.faninCount[std::min<uint64_t>(fanin, 16)]++;
    out.maxFanin = std::max(out.maxFanin, static_cast<uint32_t>(fanin));
    for (uint64_t pin = 0; pin < fanin; ++pin) {
      const size_t base = at + 3 + 3 * pin;
      uint64_t driver = 0;
      if (!toNumber(tokens[base], driver) || driver < 1 || driver > nodes ||
          tokens[base + 1] != "0" || tokens[base + 2] != "0") {
        problem(lineNumber, "bad input triple " + tokens[base]);
        continue;
      }
      drivers[k].push_back(static_cast<uint32_t>(driver - 1));
      ++out.fanout[driver - 1];
      ++out.pins;
      if (driver - 1 > k) ++out.backwardPins;
    }
  }

  if (head[0] != out.gates) problems.push_back("header gate count is off");
  if (head[3] != out.outputs) problems.push_back("header output count is off");
  for (uint64_t k = 0; k < nodes; ++k) {
    if (declaredFanout[k] != out.fanout[k]) {
      problem(k + 2, "declares fan-out " + std::to_string(declaredFanout[k]) + ", has " +
                         std::to_string(out.fanout[k]));
    }
    if (out.fanout[k] == 0 && isGate[k] && !isOutput[k]) {
      problem(k + 2, "a gate that drives nothing is not a primary output");
    }
    if (out.fanout[k] == 0 && !isGate[k]) ++out.unusedInputs;
    if (out.fanout[k] > 0 && isOutput[k]) ++out.drivingOutputs;
  }

  // Kahn's algorithm; a node's level is one more than its deepest driver.
  std::vector<std::vector<uint32_t>> readers(nodes);
  std::vector<uint32_t> pending(nodes, 0);
  for (uint64_t k = 0; k < nodes; ++k) {
    for (uint32_t driver : drivers[k]) readers[driver].push_back(static_cast<uint32_t>(k));
    pending[k] = static_cast<uint32_t>(drivers[k].size());
  }
  std::vector<uint32_t> level(nodes, 0);
  std::vector<uint32_t> ready;
  for (uint64_t k = 0; k < nodes; ++k) {
    if (pending[k] == 0) ready.push_back(static_cast<uint32_t>(k));
  }
  uint64_t visited = 0;
  while (!ready.empty()) {
    const uint32_t node = ready.back();
    ready.pop_back();
    ++visited;
    out.depth = std::max(out.depth, level[node]);
    for (uint32_t reader : readers[node]) {
      level[reader] = std::max(level[reader], level[node] + 1);
      if (--pending[reader] == 0) ready.push_back(reader);
    }
  }
  if (visited != nodes) {
    problems.push_back("the netlist has a cycle");
    return problems;
  }
  for (uint64_t k = 0; k < nodes; ++k) {
    for (uint32_t driver : drivers[k]) out.nearPins += level[k] - level[driver] <= 4;
  }
  return problems;
}

}  // namespace gennet_test
