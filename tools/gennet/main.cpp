// gennet: writes a random netlist for benchmarks and tests. See cli.cpp for the options.
#include <iostream>
#include <string>

#include "cli.h"
#include "generator.h"
#include "io/error.h"
#include "io/outputFile.h"
#include "io/runMain.h"

namespace {

void Run(int argc, char** argv) {
  using namespace tambril;
  const gennet::Command command = gennet::ParseArgs(argc, argv);
  if (command.help) {
    std::cout << gennet::kUsage << std::flush;
    return;
  }
  const gennet::Netlist netlist = gennet::Generate(command.options);

  const bool toFile = !command.outputPath.empty();
  const std::string where = toFile ? "'" + command.outputPath + "'" : "standard output";
  OutputFile out;
  if (!toFile) {
    out.OpenStandardOutput();
  } else if (!out.OpenReplacing(command.outputPath)) {
    throw FileError("gennet: cannot write " + where);
  }
  gennet::WriteNetlist(netlist, [&out](std::string_view chunk) { out.Write(chunk); });
  if (!(toFile ? out.Commit() : out.Close())) throw FileError("gennet: cannot write " + where);
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, "gennet: ");
}
