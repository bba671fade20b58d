// tambril-import INPUT -o OUTPUT.net [--format NAME] [--max-inputs N] [--liberty LIB.lib ...]:
// converts a circuit from a synthesis flow (BLIF, AIGER, ISCAS .bench, or Verilog through
// Yosys; with --liberty, gate-level Verilog of the libraries' cells) into a TAMBRIL netlist,
// with the source names of its nodes in OUTPUT.names beside it.
#include <iostream>
#include <string>
#include <vector>

#include "common/commandLine.h"
#include "common/namesFile.h"
#include "common/outputFiles.h"
#include "import/convert.h"
#include "io/error.h"
#include "io/runMain.h"
#include "io/text.h"
#include "liberty/libertyCommands.h"

namespace {

const char kUsage[] =
    "usage: tambril-import INPUT -o OUTPUT.net [--format bench|blif|aag|aig|verilog] "
    "[--max-inputs N] [--liberty LIB.lib ...]";

enum Option { kOutput, kFormat, kMaxInputs, kLiberty };
const std::vector<tambril::tools::OptionSpec> kOptions = {
    {"-o", true}, {"--format", true}, {"--max-inputs", true}, {"--liberty", true, true}};
const tambril::tools::UsageWording kWording = {"tambril-import", "{} needs a value",
                                               std::string("unknown option '{}'; ") + kUsage,
                                               "{} given twice", kUsage};

struct Command {
  std::string input, output;
  tambril::import::ImportOptions options;
  std::vector<std::string> libraries;  // --liberty: gate-level Verilog of these cells
  bool help = false;
};

Command Parse(int argc, char** argv) {
  using tambril::UsageError;
  const tambril::tools::ParsedCommand parsed =
      tambril::tools::ParseCommandLine(argc, argv, kOptions, 1, kWording);
  Command command;
  command.help = parsed.help;
  if (command.help) return command;
  if (parsed.positional.empty() || !parsed.Given(kOutput) || parsed.Value(kOutput).empty()) {
    throw UsageError(tambril::tools::UsageLine(kWording, kUsage));
  }
  command.input = parsed.positional[0];
  command.output = parsed.Value(kOutput);
  command.libraries = parsed.all[kLiberty];
  if (parsed.Given(kFormat)) {
    if (!tambril::import::FormatFromWord(parsed.Value(kFormat), command.options.format)) {
      throw UsageError("tambril-import: unknown format '" + parsed.Value(kFormat) +
                       "' (bench, blif, aag, aig or verilog)");
    }
  } else if (!tambril::import::FormatFromName(command.input, command.options.format)) {
    throw UsageError("tambril-import: cannot tell the format of '" + command.input +
                     "' from its extension; give --format");
  }
  if (parsed.Given(kMaxInputs)) {
    const std::string& value = parsed.Value(kMaxInputs);
    const int n = tambril::ToInt(value);
    if (value.find_first_not_of("0123456789") != std::string::npos || n < 2 || n > 1000000) {
      throw UsageError("tambril-import: --max-inputs takes a whole number of at least 2, not '" +
                       value + "'");
    }
    command.options.maxInputs = n;
  }
  return command;
}

void Run(int argc, char** argv) {
  const Command command = Parse(argc, argv);
  if (command.help) {
    std::cout << kUsage << '\n' << std::flush;
    return;
  }
  const std::string namesPath = tambril::tools::NamesPathFor(command.output);
  std::vector<std::string> inputs = command.libraries;
  inputs.push_back(command.input);
  tambril::tools::CheckOutputsApart("tambril-import", {command.output, namesPath}, inputs);
  if (!command.libraries.empty()) {
    tambril::liberty::ImportVerilog(command.libraries, command.input, command.output, namesPath,
                                    "tambril-import");
    return;
  }
  const tambril::import::Conversion conversion =
      tambril::import::Convert(command.input, command.options);
  // The names first: a netlist never replaces its old one before its names are in place.
  tambril::tools::WriteOutputs(
      "tambril-import", {{namesPath, conversion.names}, {command.output, conversion.netlist}});
  std::cerr << tambril::import::Warnings(conversion, command.options) << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, "tambril-import: ");
}
