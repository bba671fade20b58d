#ifndef TAMBRIL_TOOLS_IMPORT_CONVERT_H
#define TAMBRIL_TOOLS_IMPORT_CONVERT_H

#include <string>

#include "import/network.h"

// Conversion of a circuit file into a TAMBRIL netlist and its names file: the code shared by
// tambril-import and bench2net.
namespace tambril::import {

enum class Format { kBench, kBlif, kAiger, kVerilog };

struct ImportOptions {
  std::string tool = "tambril-import";  // starts every error line
  Format format = Format::kBench;
  int maxInputs = 16;  // wider gates become trees; at least 2
};

// The format that a file name's extension stands for; false when it names none.
bool FormatFromName(const std::string& name, Format& format);
// "bench", "blif", "aag", "aig", "verilog" (and "v"); false for anything else.
bool FormatFromWord(const std::string& word, Format& format);

struct Conversion {
  std::string netlist;        // the .net text
  std::string names;          // the .names text
  long long sourceNodes = 0;  // definitions and flip-flops read
  FinishSummary summary;
};

// Reads, maps and numbers the circuit in `path`. Throws FormatError (bad input, with file and
// line) or FileError (the file cannot be read; Yosys missing or failing), whose what() is the
// whole line: "TOOL: FILE:LINE: message".
Conversion Convert(const std::string& path, const ImportOptions& options);
// The same for the text of a file (not Verilog); `fileName` names it in error lines.
Conversion ConvertText(const std::string& text, const std::string& fileName,
                       const ImportOptions& options);

// The warning lines of a finished conversion (possibly none), each ending in a line end.
std::string Warnings(const Conversion& conversion, const ImportOptions& options);

}  // namespace tambril::import

#endif
