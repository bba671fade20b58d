#ifndef TAMBRIL_TOOLS_LIBERTY_LIBERTYCOMMANDS_H
#define TAMBRIL_TOOLS_LIBERTY_LIBERTYCOMMANDS_H

#include <string>
#include <vector>

// The Liberty side of tambril-import and tambril-export (`--liberty LIB.lib`).
namespace tambril::liberty {

// Reads the gate-level Verilog `input` of the libraries' cells and writes `output` (.net) and
// the names file beside it. Throws tambril::Error lines starting with `program`.
void ImportVerilog(const std::vector<std::string>& libraries, const std::string& input,
                   const std::string& output, const std::string& namesPath,
                   const std::string& program);

struct ExportRequest {
  std::vector<std::string> libraries;
  std::string netlist, result, output;
  std::string names;    // empty: beside the netlist
  std::string verilog;  // empty: the source that the names file names
  double delayTarget = 0;
  std::string program;
};
// Writes the source module with each gate's cell chosen for its size and refined with the
// libraries' tables; returns the summary line.
std::string ExportVerilog(const ExportRequest& request);

}  // namespace tambril::liberty

#endif
