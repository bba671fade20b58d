#include "import/convert.h"

#include <string_view>
#include <vector>

#include "common/inputFile.h"
#include "import/readers.h"
#include "import/yosys.h"
#include "io/error.h"
#include "io/text.h"

namespace tambril::import {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The formats, by the words of --format and the extensions of file names.
struct FormatRow {
  Format format;
  std::vector<std::string_view> words;
  std::vector<std::string_view> extensions;
};

const std::vector<FormatRow>& Formats() {
  static const std::vector<FormatRow> kFormats = {
      {Format::kBench, {"bench"}, {".bench"}},
      {Format::kBlif, {"blif"}, {".blif"}},
      {Format::kAiger, {"aag", "aig"}, {".aag", ".aig"}},
      {Format::kVerilog, {"verilog", "v"}, {".v", ".sv"}},
  };
  return kFormats;
}

}  // namespace

bool FormatFromName(const std::string& name, Format& format) {
  for (const FormatRow& row : Formats()) {
    for (std::string_view extension : row.extensions) {
      if (EndsWith(name, std::string(extension))) {
        format = row.format;
        return true;
      }
    }
  }
  return false;
}

bool FormatFromWord(const std::string& word, Format& format) {
  for (const FormatRow& row : Formats()) {
    for (std::string_view w : row.words) {
      if (w == word) {
        format = row.format;
        return true;
      }
    }
  }
  return false;
}

Conversion Convert(const std::string& path, const ImportOptions& options) {
  const std::string text = tools::ReadInput(
      options.tool, path, options.format == Format::kAiger ? AigerBinaryPart : tools::BinaryPart());
  if (options.format != Format::kVerilog) return ConvertText(text, path, options);
  return ConvertText(SynthesiseVerilog(options.tool, path, text), path + " (as synthesised)",
                     options);
}

Conversion ConvertText(const std::string& text, const std::string& where,
                       const ImportOptions& options) {
  Conversion conversion;
  try {
    Source source;
    switch (options.format) {
      case Format::kBench:
        ReadBench(text, source);
        break;
      case Format::kBlif:
      case Format::kVerilog:
        ReadBlif(text, source);
        break;
      case Format::kAiger:
        ReadAiger(text, source);
        break;
    }
    conversion.sourceNodes =
        static_cast<long long>(source.definitions.size() + source.flops.size());
    Network network(options.maxInputs);
    MapSource(source, network);
    conversion.summary = network.Finish();
    conversion.netlist = network.NetlistText();
    conversion.names = network.NamesText();
  } catch (const SourceError& e) {
    std::string line = options.tool + ": " + where + ":";
    if (e.line > 0) line += std::to_string(e.line) + ":";
    throw FormatError(line + " " + e.message);
  }
  return conversion;
}

std::string Warnings(const Conversion& conversion, const ImportOptions& options) {
  std::string out;
  const std::vector<std::string>& constant = conversion.summary.constantOutputs;
  if (!constant.empty()) {
    out += options.tool + ": warning: " + std::to_string(constant.size()) +
           (constant.size() == 1 ? " output is" : " outputs are") + " constant and dropped:";
    for (const std::string& name : constant) out += " " + name;
    out += '\n';
  }
  const long long removed = conversion.summary.removedGates;
  if (removed > 0) {
    out += options.tool + ": removed " + std::to_string(removed) +
           (removed == 1 ? " gate that reaches" : " gates that reach") + " no output\n";
  }
  return out;
}

}  // namespace tambril::import
