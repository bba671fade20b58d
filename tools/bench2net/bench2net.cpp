// bench2net CIRCUIT.bench > CIRCUIT.net: converts an ISCAS `.bench` circuit to TAMBRIL's
// netlist format with tambril-import's conversion (tools/import/convert.h), writing the
// netlist to standard output and no names file.
#include <iostream>
#include <string>

#include "common/commandLine.h"
#include "common/outputFiles.h"
#include "import/convert.h"
#include "io/error.h"
#include "io/runMain.h"

namespace {

const char kUsage[] = "usage: bench2net CIRCUIT.bench > CIRCUIT.net";
const tambril::tools::UsageWording kWording = {"bench2net", "{} needs a value",
                                               std::string("unknown option '{}'; ") + kUsage,
                                               "{} given twice", kUsage};

void Run(int argc, char** argv) {
  const tambril::tools::ParsedCommand parsed =
      tambril::tools::ParseCommandLine(argc, argv, {}, 1, kWording);
  if (parsed.help) {
    std::cout << kUsage << '\n' << std::flush;
    return;
  }
  if (parsed.positional.empty()) {
    throw tambril::UsageError(tambril::tools::UsageLine(kWording, kUsage));
  }
  tambril::tools::CheckStandardOutputApart("bench2net", {parsed.positional[0]});
  tambril::import::ImportOptions options;
  options.tool = "bench2net";
  options.format = tambril::import::Format::kBench;
  const tambril::import::Conversion conversion =
      tambril::import::Convert(parsed.positional[0], options);
  std::cout.write(conversion.netlist.data(),
                  static_cast<std::streamsize>(conversion.netlist.size()));
  if (!std::cout.flush()) {
    throw tambril::FileError("bench2net: error writing the netlist to standard output");
  }
  std::cerr << tambril::import::Warnings(conversion, options) << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, "bench2net: ");
}
