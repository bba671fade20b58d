// tambril-export NETLIST.net [RESULT] -o OUTPUT.(blif|bench|csv) [--names FILE]: writes a
// converted netlist back out with its source names, and the sizes of a TAMBRIL result.
#include <unistd.h>

#include <iostream>
#include <string>

#include "export/exporter.h"
#include "io/error.h"
#include "io/outputFile.h"
#include "run/runMain.h"

namespace {

const char kUsage[] =
    "usage: tambril-export NETLIST.net [RESULT] -o OUTPUT.blif|OUTPUT.bench|OUTPUT.csv "
    "[--names NAMES]";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void Run(int argc, char** argv) {
  using tambril::UsageError;
  std::string netlist, result, output, names;
  bool haveNames = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage << '\n' << std::flush;
      return;
    }
    if ((arg == "-o" || arg == "--names") && i + 1 == argc) {
      throw UsageError("tambril-export: " + arg + " needs a value");
    }
    if (arg == "-o") {
      output = argv[++i];
    } else if (arg == "--names") {
      names = argv[++i];
      haveNames = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("tambril-export: unknown option '" + arg + "'; " + kUsage);
    } else if (netlist.empty()) {
      netlist = arg;
    } else if (result.empty()) {
      result = arg;
    } else {
      throw UsageError(std::string("tambril-export: ") + kUsage);
    }
  }
  if (netlist.empty() || output.empty()) throw UsageError(std::string("tambril-export: ") + kUsage);
  const bool csv = EndsWith(output, ".csv"), bench = EndsWith(output, ".bench");
  if (!csv && !bench && !EndsWith(output, ".blif")) {
    throw UsageError("tambril-export: the output must end in .blif, .bench or .csv");
  }
  if (csv && result.empty()) throw UsageError("tambril-export: a CSV table needs a RESULT file");
  if (output == netlist || output == result || output == names) {
    throw tambril::FileError("tambril-export: the output would replace the input '" + output + "'");
  }
  if (!haveNames) {
    names =
        (EndsWith(netlist, ".net") ? netlist.substr(0, netlist.size() - 4) : netlist) + ".names";
  }
  const tambril::exporter::SizedNetlist sized =
      tambril::exporter::ReadSizedNetlist(netlist, names, result);
  std::string model = netlist.substr(netlist.find_last_of('/') + 1);
  if (EndsWith(model, ".net")) model.resize(model.size() - 4);
  const std::string text = csv     ? tambril::exporter::WriteCsv(sized)
                           : bench ? tambril::exporter::WriteBench(sized)
                                   : tambril::exporter::WriteBlif(sized, model);
  tambril::OutputFile file;
  if (!file.OpenReplacing(output) || !file.Put(text).ok() || !file.Commit()) {
    throw tambril::FileError("tambril-export: cannot write '" + output + "'");
  }
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, "tambril-export: ");
}
