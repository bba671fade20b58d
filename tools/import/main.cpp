// tambril-import INPUT -o OUTPUT.net [--format NAME] [--max-inputs N]: converts a circuit from
// a synthesis flow (BLIF, AIGER, ISCAS .bench, or Verilog through Yosys) into a TAMBRIL
// netlist, with the source names of its nodes in OUTPUT.names beside it.
#include <cstdio>
#include <iostream>
#include <string>

#include "import/convert.h"
#include "io/error.h"
#include "io/outputFile.h"
#include "io/text.h"
#include "run/runMain.h"

namespace {

const char kUsage[] =
    "usage: tambril-import INPUT -o OUTPUT.net [--format bench|blif|aag|aig|verilog] "
    "[--max-inputs N]";

struct Command {
  std::string input, output;
  tambril::import::ImportOptions options;
  bool help = false;
};

Command Parse(int argc, char** argv) {
  using tambril::UsageError;
  Command command;
  bool haveFormat = false;
  const std::string usage = std::string("tambril-import: ") + kUsage;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool takesValue = arg == "-o" || arg == "--format" || arg == "--max-inputs";
    if (takesValue && i + 1 == argc) throw UsageError("tambril-import: " + arg + " needs a value");
    if (arg == "-h" || arg == "--help") {
      command.help = true;
    } else if (arg == "-o") {
      command.output = argv[++i];
    } else if (arg == "--format") {
      const std::string word = argv[++i];
      if (!tambril::import::FormatFromWord(word, command.options.format)) {
        throw UsageError("tambril-import: unknown format '" + word +
                         "' (bench, blif, aag, aig or verilog)");
      }
      haveFormat = true;
    } else if (arg == "--max-inputs") {
      const std::string value = argv[++i];
      const int n = tambril::ToInt(value);
      if (value.find_first_not_of("0123456789") != std::string::npos || n < 2 || n > 1000000) {
        throw UsageError("tambril-import: --max-inputs takes a whole number of at least 2, not '" +
                         value + "'");
      }
      command.options.maxInputs = n;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("tambril-import: unknown option '" + arg + "'; " + kUsage);
    } else if (command.input.empty()) {
      command.input = arg;
    } else {
      throw UsageError(usage);
    }
  }
  if (command.help) return command;
  if (command.input.empty() || command.output.empty()) throw UsageError(usage);
  if (!haveFormat && !tambril::import::FormatFromName(command.input, command.options.format)) {
    throw UsageError("tambril-import: cannot tell the format of '" + command.input +
                     "' from its extension; give --format");
  }
  return command;
}

// OUTPUT.net -> OUTPUT.names (any other name: the name with ".names" added).
std::string NamesPath(const std::string& output) {
  const std::string suffix = ".net";
  if (output.size() > suffix.size() &&
      output.compare(output.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return output.substr(0, output.size() - suffix.size()) + ".names";
  }
  return output + ".names";
}

void WriteBoth(const std::string& netPath, const std::string& netText, const std::string& namesPath,
               const std::string& namesText) {
  tambril::OutputFile net, names;
  const auto fail = [](const std::string& path) {
    return tambril::FileError("tambril-import: cannot write '" + path + "'");
  };
  if (!net.OpenReplacing(netPath)) throw fail(netPath);
  if (!names.OpenReplacing(namesPath)) throw fail(namesPath);
  net.Put(netText);
  names.Put(namesText);
  // Both are complete in their temporaries before either replaces its target.
  if (!names.Commit()) throw fail(namesPath);
  if (!net.Commit()) throw fail(netPath);
}

void Run(int argc, char** argv) {
  const Command command = Parse(argc, argv);
  if (command.help) {
    std::cout << kUsage << '\n' << std::flush;
    return;
  }
  const std::string namesPath = NamesPath(command.output);
  if (namesPath == command.input || command.output == command.input) {
    throw tambril::FileError("tambril-import: the output would replace the input '" +
                             command.input + "'");
  }
  const tambril::import::Conversion conversion =
      tambril::import::Convert(command.input, command.options);
  WriteBoth(command.output, conversion.netlist, namesPath, conversion.names);
  std::cerr << tambril::import::Warnings(conversion, command.options) << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, "tambril-import: ");
}
