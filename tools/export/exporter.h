#ifndef TAMBRIL_TOOLS_EXPORT_EXPORTER_H
#define TAMBRIL_TOOLS_EXPORT_EXPORTER_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/netlistReader.h"

// A TAMBRIL netlist with the names that tambril-import wrote beside it and, optionally, the
// sizes of a result file, written back out for a synthesis flow: BLIF or .bench with the
// names (sizes as comments), or a CSV table of the sized gates.
namespace tambril::exporter {

struct SizedNetlist {
  tools::Netlist netlist;
  std::vector<std::string> names;  // per node, from the names file; empty when none
  std::vector<std::string> sizes;  // per node, from the result file as printed; empty when none
  // Outputs that the import dropped as constant: name and value, from the names file.
  std::vector<std::pair<std::string, bool>> constantOutputs;
  // Unique net names for the writers: the node's own name where it is the first node with it,
  // otherwise a made-up one (NAME$ID, or nID for an unnamed node), never a constant output's.
  std::vector<std::string> netNames;
  std::string constantClash;  // a constant output named as a node or twice; empty when none
};

// Reads the three files (`namesPath` or `resultPath` empty: none; with `namesOptional`, a names
// file that does not exist is none too). Throws FormatError or FileError with the whole line
// "tambril-export: FILE[:LINE]: message".
SizedNetlist ReadSizedNetlist(const std::string& netPath, const std::string& namesPath,
                              bool namesOptional, const std::string& resultPath);

// The writers, one per output format; `model` names the circuit where the format has a name.
// BLIF of library gates: one .names cover per gate, "# ID TYPE size S" above it when sized;
// the outputs dropped as constant come back as covers without inputs.
// An output that is a primary input of the same name in the source stays that input.
std::string WriteBlif(const SizedNetlist& netlist, const std::string& model);
// ISCAS .bench, the size as a comment at the end of each gate line; constant outputs, which
// .bench cannot state, as comments.
std::string WriteBench(const SizedNetlist& netlist, const std::string& model);
// "name,type,inputs,size": one row per gate in node id order; needs the sizes. A name that a
// spreadsheet would take for a formula (its first character one of = + - @, a tab or a
// carriage return) is written with a ' before it.
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

// A circuit name for the formats that carry one, from the netlist's file name: its last
// component without ".net", every character but letters, digits, '_', '.', '-' and '$'
// replaced by '_' ("netlist" when nothing is left).
std::string ModelName(const std::string& netPath);

}  // namespace tambril::exporter

#endif
