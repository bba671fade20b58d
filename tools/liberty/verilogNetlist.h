#ifndef TAMBRIL_TOOLS_LIBERTY_VERILOGNETLIST_H
#define TAMBRIL_TOOLS_LIBERTY_VERILOGNETLIST_H

#include <string>
#include <vector>

// Gate-level Verilog of library cells, as synthesis tools write it: one module of ports,
// wires, `assign`s and cell instances with named connections. Every bit of a net is one
// electrical node after the `assign`s have joined the names that they equate.
namespace tambril::liberty {

struct VerilogNetlist {
  struct Connection {
    std::string pin;
    int net = -1;  // -1: left open
  };
  struct Instance {
    std::string cellName;
    std::string name;
    int line = 0;
    size_t cellBegin = 0, cellEnd = 0;  // where the cell name stands in `text`
    std::vector<Connection> connections;
  };
  enum class Driver : unsigned char { kNone, kInput, kZero, kOne };

  std::string fileName;
  std::string text;
  std::string module;
  std::vector<Instance> instances;  // in file order
  // Nets, after `assign`s: a name for each (the first bit name that reached it), and how it is
  // driven when not by an instance.
  std::vector<std::string> netNames;
  std::vector<Driver> netDriver;
  std::vector<int> inputs;   // nets of the input port bits, in port order
  std::vector<int> outputs;  // nets of the output port bits, in port order
  std::vector<std::string> outputNames;

  int NetCount() const { return static_cast<int>(netNames.size()); }
};

// Reads the module in `text`. Throws FormatError "PROGRAM: FILE:LINE: message" for anything
// outside that subset: several modules, positional connections, inout ports, a bit outside
// its vector, an `assign` between two driven nets, a constant with x or z bits, ...
VerilogNetlist ReadVerilog(std::string text, const std::string& fileName,
                           const std::string& program);

// The text with the cell names of the instances replaced, everything else as it was.
std::string WithCells(const VerilogNetlist& netlist, const std::vector<std::string>& cells);

}  // namespace tambril::liberty

#endif
