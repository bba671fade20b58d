#ifndef TAMBRIL_TOOLS_LIBERTY_LIBERTYFLOW_H
#define TAMBRIL_TOOLS_LIBERTY_LIBERTYFLOW_H

#include <string>
#include <vector>

#include "cellLibrary.h"
#include "design.h"
#include "families.h"
#include "refine.h"
#include "verilogNetlist.h"

// A netlist of Liberty cells into a TAMBRIL netlist, and a TAMBRIL result back into cells.
namespace tambril::liberty {

// The TAMBRIL netlist of a bound design and its names file. Nodes: the nets that start paths
// and that gates read (input ports in port order, outputs of cut cells, constants), then the
// gates in topological order, each of its family's type; a gate whose output ends a path or
// goes nowhere is a primary output. The names file has "ID<TAB>NET" for each input node,
// "ID<TAB>INSTANCE<TAB>CELL" for each gate, and a last line "verilog<TAB>PATH" naming the
// source (an absolute path).
struct Imported {
  std::string netlist;
  std::string names;
  int gates = 0;
  int inputs = 0;
  int outputs = 0;
};
Imported ImportDesign(const Design& design, const VerilogNetlist& netlist, const Families& families,
                      const std::string& sourcePath);

// What the export reads: the names file's instance of each node id, the source named in it,
// and the sizes of a result file.
struct SizedNames {
  std::string verilogPath;
  std::vector<std::pair<int, std::string>> gates;  // node id, instance name
};
SizedNames ReadNames(const std::string& path, const std::string& program);
// Node id -> size (square metres), 0 for ids without a size; and the type names.
void ReadResult(const std::string& path, const std::string& program, std::vector<double>& sizes,
                std::vector<std::string>& types);

}  // namespace tambril::liberty

#endif
