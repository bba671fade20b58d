#ifndef TAMBRIL_TOOLS_EXPORT_EXPORTER_H
#define TAMBRIL_TOOLS_EXPORT_EXPORTER_H

#include <string>
#include <string_view>
#include <vector>

// A TAMBRIL netlist with the names that tambril-import wrote beside it and, optionally, the
// sizes of a result file, written back out for a synthesis flow: BLIF or .bench with the
// names (sizes as comments), or a CSV table of the sized gates.
namespace tambril::exporter {

struct SizedNetlist {
  struct Node {
    std::string type;  // "pri" for a primary input
    bool output = false;
    std::vector<int> fanins;  // node ids
    std::string name;         // from the names file; empty when none
    std::string size;         // from the result file, as printed; empty when none
  };
  std::vector<Node> nodes;  // node id k at nodes[k - 1]
  // Outputs that the import dropped as constant: name and value, from the names file.
  std::vector<std::pair<std::string, bool>> constantOutputs;
  // Unique net names for the writers: the node's own name where it is the first node with it,
  // otherwise a made-up one (NAME$ID, or nID for an unnamed node).
  std::vector<std::string> netNames;
};

// Reads the three files (`namesPath` or `resultPath` empty: none). Throws FormatError or
// FileError with the whole line "tambril-export: FILE[:LINE]: message".
SizedNetlist ReadSizedNetlist(const std::string& netPath, const std::string& namesPath,
                              const std::string& resultPath);

// The writers, one per output format; `model` names the circuit where the format has a name.
// BLIF of library gates: one .names cover per gate, "# ID TYPE size S" above it when sized;
// the outputs dropped as constant come back as covers without inputs.
// An output that is a primary input of the same name in the source stays that input.
std::string WriteBlif(const SizedNetlist& netlist, const std::string& model);
// ISCAS .bench, the size as a comment at the end of each gate line; constant outputs, which
// .bench cannot state, as comments.
std::string WriteBench(const SizedNetlist& netlist, const std::string& model);
// "name,type,inputs,size": one row per gate in node id order; needs the sizes.
std::string WriteCsv(const SizedNetlist& netlist, const std::string& model);

// The output formats, by the extension of the output's name.
struct OutputFormat {
  std::string_view extension;   // ".blif"
  std::string_view needsSizes;  // the usage error when no result is given; empty: none needed
  std::string (*write)(const SizedNetlist& netlist, const std::string& model);
};
const std::vector<OutputFormat>& OutputFormats();
// The format of an output name; nullptr when its extension names none.
const OutputFormat* OutputFormatOf(const std::string& path);

}  // namespace tambril::exporter

#endif
