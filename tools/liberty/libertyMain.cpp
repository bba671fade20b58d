// tambril-liberty LIB.lib [LIB2.lib ...] -o param.txt: derives a TAMBRIL gate library from
// Liberty cell libraries, one row per family of drive strengths, and reports the fit.
#include <iostream>
#include <string>
#include <vector>

#include "cellLibrary.h"
#include "common/outputFiles.h"
#include "families.h"
#include "io/error.h"
#include "io/runMain.h"

namespace {

const char kProgram[] = "tambril-liberty";
const char kUsage[] = "usage: tambril-liberty LIB.lib [LIB2.lib ...] -o param.txt";

void Run(int argc, char** argv) {
  using tambril::UsageError;
  std::vector<std::string> inputs;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage << '\n' << std::flush;
      return;
    }
    if (arg == "-o") {
      if (i + 1 == argc) throw UsageError(std::string(kProgram) + ": -o needs a value");
      output = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError(std::string(kProgram) + ": unknown option '" + arg + "'; " + kUsage);
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty() || output.empty()) throw UsageError(std::string(kProgram) + ": " + kUsage);
  tambril::tools::CheckOutputsApart(kProgram, {output}, inputs);
  const tambril::liberty::CellLibrary library =
      tambril::liberty::ReadLibertyFiles(inputs, kProgram);
  const tambril::liberty::Families families = tambril::liberty::BuildFamilies(library);
  if (families.families.empty()) {
    throw tambril::FormatError(std::string(kProgram) + ": " + inputs[0] +
                               ": no cell with one output and delay tables");
  }
  tambril::tools::WriteOutputs(kProgram, {{output, tambril::liberty::LibraryText(families)}});
  std::cout << tambril::liberty::ReportText(families, library) << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, std::string(kProgram) + ": ");
}
