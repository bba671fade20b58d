#ifndef TAMBRIL_TOOLS_COMMON_NAMESFILE_H
#define TAMBRIL_TOOLS_COMMON_NAMESFILE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The names file that tambril-import writes beside a netlist and tambril-export reads: one line
// "ID<TAB>NAME" per node with a source name, in id order, then "const0<TAB>NAME" or
// "const1<TAB>NAME" per output that the import dropped as constant.
namespace tambril::tools {

// The names file of a netlist: OUT.net gives OUT.names; any other name gets ".names" added.
std::string NamesPathFor(const std::string& netlistPath);

void AppendNodeName(std::string& text, uint64_t id, std::string_view name);
void AppendConstantOutput(std::string& text, bool value, std::string_view name);

struct Names {
  std::vector<std::string> ofNode;  // by id - 1; empty when the node has none
  std::vector<std::pair<std::string, bool>> constantOutputs;  // name and value, in file order
};

// The names of a netlist of `nodes` nodes, a node named at most once; lines may end in CR LF.
// Throws LineError.
Names ReadNames(std::string_view text, size_t nodes);

}  // namespace tambril::tools

#endif
