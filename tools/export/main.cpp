// tambril-export NETLIST.net [RESULT] -o OUTPUT.(blif|bench|csv) [--names FILE]: writes a
// converted netlist back out with its source names, and the sizes of a TAMBRIL result; with
// --liberty LIB.lib, the source Verilog of cells with each cell sized (OUTPUT.v).
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/commandLine.h"
#include "common/namesFile.h"
#include "common/outputFiles.h"
#include "export/exporter.h"
#include "io/error.h"
#include "io/runMain.h"
#include "io/text.h"
#include "liberty/libertyCommands.h"

namespace {

const char kUsage[] =
    "usage: tambril-export NETLIST.net [RESULT] -o OUTPUT.blif|OUTPUT.bench|OUTPUT.csv|OUTPUT.v "
    "[--names NAMES] [--liberty LIB.lib ...] [--verilog SOURCE.v] [--delay-target SECONDS]";

enum Option { kOutput, kNames, kLiberty, kVerilog, kDelayTarget };
const std::vector<tambril::tools::OptionSpec> kOptions = {{"-o", true},
                                                          {"--names", true},
                                                          {"--liberty", true, true},
                                                          {"--verilog", true},
                                                          {"--delay-target", true}};
const tambril::tools::UsageWording kWording = {"tambril-export", "{} needs a value",
                                               std::string("unknown option '{}'; ") + kUsage,
                                               "{} given twice", kUsage};

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// --liberty: the sized netlist as Verilog of the libraries' cells.
void ExportCells(const tambril::tools::ParsedCommand& parsed, const std::string& netlist,
                 const std::string& result, const std::string& output) {
  using tambril::UsageError;
  tambril::liberty::ExportRequest request;
  request.libraries = parsed.all[kLiberty];
  request.netlist = netlist;
  request.result = result;
  request.output = output;
  request.program = "tambril-export";
  if (parsed.Given(kNames)) request.names = parsed.Value(kNames);
  if (parsed.Given(kVerilog)) request.verilog = parsed.Value(kVerilog);
  if (parsed.Given(kDelayTarget)) {
    const std::string& value = parsed.Value(kDelayTarget);
    if (!tambril::ParseWholeNumber(value, request.delayTarget) ||
        !(request.delayTarget > 0 && request.delayTarget < 1)) {
      throw UsageError("tambril-export: --delay-target takes a delay in seconds, not '" + value +
                       "'");
    }
  }
  if (result.empty() || !EndsWith(output, ".v")) {
    throw UsageError("tambril-export: --liberty writes Verilog (OUTPUT.v) from a RESULT file");
  }
  std::vector<std::string> inputs = request.libraries;
  for (const std::string& input : {netlist, result, request.names, request.verilog}) {
    if (!input.empty()) inputs.push_back(input);
  }
  tambril::tools::CheckOutputsApart("tambril-export", {output}, inputs);
  std::cout << tambril::liberty::ExportVerilog(request) << std::flush;
}

void Run(int argc, char** argv) {
  using tambril::UsageError;
  const tambril::tools::ParsedCommand parsed =
      tambril::tools::ParseCommandLine(argc, argv, kOptions, 2, kWording);
  if (parsed.help) {
    std::cout << kUsage << '\n' << std::flush;
    return;
  }
  const std::string netlist = parsed.positional.empty() ? "" : parsed.positional[0];
  const std::string result = parsed.positional.size() < 2 ? "" : parsed.positional[1];
  const std::string output = parsed.Given(kOutput) ? parsed.Value(kOutput) : "";
  const bool haveNames = parsed.Given(kNames);
  std::string names = haveNames ? parsed.Value(kNames) : "";
  if (netlist.empty() || output.empty()) throw UsageError(std::string("tambril-export: ") + kUsage);
  if (parsed.Given(kLiberty)) {
    ExportCells(parsed, netlist, result, output);
    return;
  }
  const tambril::exporter::OutputFormat* format = tambril::exporter::OutputFormatOf(output);
  if (format == nullptr) {
    std::string list;
    const auto& formats = tambril::exporter::OutputFormats();
    for (size_t k = 0; k < formats.size(); ++k) {
      list += std::string(k == 0                    ? ""
                          : k + 1 == formats.size() ? " or "
                                                    : ", ") +
              std::string(formats[k].extension);
    }
    throw UsageError("tambril-export: the output must end in " + list);
  }
  if (!format->needsSizes.empty() && result.empty()) {
    throw UsageError("tambril-export: " + std::string(format->needsSizes));
  }
  const bool namesOptional = !haveNames;
  if (!haveNames) names = tambril::tools::NamesPathFor(netlist);
  std::vector<std::string> inputs = {netlist, names};
  if (!result.empty()) inputs.push_back(result);
  tambril::tools::CheckOutputsApart("tambril-export", {output}, inputs);
  // The netlist and its names from one import, never one from before its renames and one after.
  std::optional<tambril::tools::InputsLock> lock(std::in_place, std::vector{netlist, names});
  const tambril::exporter::SizedNetlist sized =
      tambril::exporter::ReadSizedNetlist(netlist, names, namesOptional, result);
  lock.reset();
  const std::string text = format->write(sized, tambril::exporter::ModelName(netlist));
  tambril::tools::WriteOutputs("tambril-export", {{output, text}});
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] { Run(argc, argv); }, "tambril-export: ");
}
