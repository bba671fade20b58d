// bench2net CIRCUIT.bench > CIRCUIT.net: converts an ISCAS `.bench` circuit to TAMBRIL's
// netlist format with tambril-import's conversion (tools/import/convert.h), writing the
// netlist to standard output and no names file.
#include <cstring>
#include <iostream>
#include <string>

#include "import/convert.h"
#include "io/error.h"
#include "run/runMain.h"

namespace {

void Run(int argc, char** argv) {
  static const char kUsage[] = "usage: bench2net CIRCUIT.bench > CIRCUIT.net";
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::cout << kUsage << '\n' << std::flush;
    return;
  }
  if (argc != 2) throw tambril::UsageError(std::string("bench2net: ") + kUsage);
  tambril::import::ImportOptions options;
  options.tool = "bench2net";
  options.format = tambril::import::Format::kBench;
  const tambril::import::Conversion conversion = tambril::import::Convert(argv[1], options);
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
