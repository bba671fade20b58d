#ifndef TAMBRIL_TOOLS_BENCH2NET_BENCHTONET_H
#define TAMBRIL_TOOLS_BENCH2NET_BENCHTONET_H

#include <istream>
#include <ostream>
#include <string>

// Conversion of a circuit in the ISCAS `.bench` format to TAMBRIL's netlist format.
//
// Input, one statement a line; `#` starts a comment, blank lines are skipped, blanks and tabs
// may stand between any two tokens, a carriage return before the line end is ignored:
//   INPUT(name)
//   OUTPUT(name)
//   name = GATE(input, input, ...)
// GATE is AND, NAND, OR, NOR, XOR, XNOR, NOT, BUFF or BUF, or DFF; keywords and gate names are
// read in any letter case, signal names are case-sensitive. A signal may be used before the
// line that defines it.
//
// Each DFF is cut open: its output signal becomes a primary input and the signal at its data
// input becomes a primary output. A primary output that is not a gate (a primary input or a
// DFF output) gets a BUF gate of its own, since only a gate can be an output node. A signal
// listed as an output more than once (or as an output and a DFF data input) is one output.
//
// Node order of the written netlist (node k is the k-th line after the header):
//   1. primary inputs, in INPUT order;
//   2. DFF outputs, in the file order of the DFFs;
//   3. the other gates, in file order;
//   4. the added BUFs, in the order of their outputs: OUTPUT lines first, then DFF data inputs
//      in the file order of the DFFs.
// Library type names: INV for NOT, BUF for BUFF and BUF, the gate's own name (upper case)
// otherwise.
namespace bench2net {

struct Result {
  bool ok = false;
  // The netlist text when ok.
  std::string netlist;
  // Otherwise one line without line end: "FILE:LINE: message", or "FILE: message" when no
  // line applies.
  std::string error;
};

// Reads a whole circuit from `in`; `fileName` names it in the error line. On an error nothing
// of the netlist is returned. Errors of a single line (malformed statement, unknown gate type,
// gate without inputs, wrong number of inputs, signal defined twice) are reported for the
// first such line; then a signal used but never defined, at its first use; then a circuit
// without outputs; then a combinational cycle, at the line of the first of its gates in the
// file. Cost O(n) expected in the size of the file; no recursion.
Result Convert(std::istream& in, const std::string& fileName);

// The command line: `bench2net CIRCUIT.bench`. Writes the netlist to `out` and returns 0, or
// writes one line "bench2net: ..." to `err`, nothing to `out`, and returns 1.
int Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace bench2net

#endif
