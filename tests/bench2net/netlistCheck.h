#ifndef TAMBRIL_TESTS_BENCH2NET_NETLISTCHECK_H
#define TAMBRIL_TESTS_BENCH2NET_NETLISTCHECK_H

#include <sstream>
#include <string>
#include <vector>

// The c17 circuit as distributed, and its netlist worked out by hand: nodes 1-5 are the inputs
// 1, 2, 3, 6, 7; nodes 6-11 the gates 10, 11, 16, 19, 22, 23.
inline const char kC17Bench[] =
    "# c17\n# 5 inputs\n# 2 outputs\n# 0 inverter\n# 6 gates ( 6 NANDs )\n\n"
    "INPUT(1)\nINPUT(2)\nINPUT(3)\nINPUT(6)\nINPUT(7)\n\nOUTPUT(22)\nOUTPUT(23)\n\n"
    "10 = NAND(1, 3)\n11 = NAND(3, 6)\n16 = NAND(2, 11)\n19 = NAND(11, 7)\n"
    "22 = NAND(10, 16)\n23 = NAND(16, 19)\n";
inline const char kC17Net[] =
    "6 0 0 2 11\n"
    "pri 1 0\npri 1 0\npri 2 0\npri 1 0\npri 1 0\n"
    "NAND 1 2 1 0 0 3 0 0\n"
    "NAND 2 2 3 0 0 4 0 0\n"
    "NAND 2 2 2 0 0 7 0 0\n"
    "NAND 1 2 7 0 0 5 0 0\n"
    "po NAND 0 2 6 0 0 8 0 0\n"
    "po NAND 0 2 8 0 0 9 0 0\n";

// Checks what the sizer checks of a netlist and the header counts; returns "" when the text is
// sound, else the first fault found.
inline std::string CheckNetlist(const std::string& text) {
  if (text.empty() || text.back() != '\n') return "no line end at the end";
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  long gates = -1, zero1 = -1, zero2 = -1, outputs = -1, nodes = -1;
  std::istringstream header(line);
  header >> gates >> zero1 >> zero2 >> outputs >> nodes;
  if (!header || zero1 != 0 || zero2 != 0) return "bad header: " + line;
  std::vector<long> declared(nodes + 1), counted(nodes + 1), pending(nodes + 1);
  std::vector<std::vector<long>> receivers(nodes + 1);
  long k = 0, gateLines = 0, outputLines = 0;
  while (std::getline(in, line)) {
    if (++k > nodes) return "more node lines than the header says";
    if (line.find("  ") != std::string::npos || line.front() == ' ' || line.back() == ' ') {
      return "blanks not single at line " + std::to_string(k);
    }
    std::istringstream tokens(line);
    std::string type;
    long fanin = -1;
    tokens >> type;
    const bool output = type == "po";
    if (output) {
      ++outputLines;
      tokens >> type;
    }
    if (type != "pri") ++gateLines;
    tokens >> declared[k] >> fanin;
    if (!tokens || type.size() > 9 || (type == "pri") != (fanin == 0) ||
        (output && type == "pri")) {
      return "bad node line " + std::to_string(k) + ": " + line;
    }
    for (long i = 0; i < fanin; ++i) {
      long driver = 0, a = -1, b = -1;
      tokens >> driver >> a >> b;
      if (!tokens || a != 0 || b != 0 || driver < 1 || driver > nodes) {
        return "bad fan-in at line " + std::to_string(k);
      }
      ++counted[driver];
      receivers[driver].push_back(k);
      ++pending[k];
    }
    if (tokens >> type) return "extra tokens at line " + std::to_string(k);
  }
  if (k != nodes) return "fewer node lines than the header says";
  if (gateLines != gates || outputLines != outputs) return "header counts differ";
  for (long n = 1; n <= nodes; ++n) {
    if (counted[n] != declared[n]) return "fan-out of node " + std::to_string(n) + " is off";
  }
  std::vector<long> ready;
  for (long n = 1; n <= nodes; ++n) {
    if (pending[n] == 0) ready.push_back(n);
  }
  for (size_t head = 0; head < ready.size(); ++head) {
    for (long r : receivers[ready[head]]) {
      if (--pending[r] == 0) ready.push_back(r);
    }
  }
  return static_cast<long>(ready.size()) == nodes ? "" : "cycle";
}

#endif
