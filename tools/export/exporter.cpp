#include "export/exporter.h"

#include <unordered_set>
#include <utility>

#include "common/gateTypes.h"
#include "common/lineError.h"
#include "common/namesFile.h"
#include "io/error.h"
#include "io/text.h"

namespace tambril::exporter {
namespace {

const char kTool[] = "tambril-export: ";

FormatError Bad(const std::string& path, int line, const std::string& message) {
  return FormatError(kTool + path + (line > 0 ? ":" + std::to_string(line) : "") + ": " + message);
}

std::string Read(const std::string& path) {
  std::string text;
  bool readError = false;
  if (!ReadWholeFile(path, text, readError) || readError) {
    throw FileError(kTool + std::string("cannot read '") + path + "'");
  }
  return text;
}

bool ParseCount(std::string_view token, long long& value) {
  if (token.empty() || token.size() > 12 ||
      token.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  value = 0;
  for (char c : token) value = value * 10 + (c - '0');
  return true;
}

constexpr long long kWidestXor = 16;

bool IsLibraryType(std::string_view type) {
  tools::GateType known;
  return tools::GateTypeFromName(type, known);
}

void ReadNet(const std::string& path, SizedNetlist& netlist) {
  const std::string text = Read(path);
  LineReader lines(text);
  std::string_view line, token;
  int number = 1;
  long long header[5];
  {
    if (!lines.Next(line)) throw Bad(path, 1, "empty netlist");
    Tokenizer tokens(line, kNetlistSeparators);
    for (long long& value : header) {
      if (!tokens.Next(token) || !ParseCount(token, value)) {
        throw Bad(path, 1, "malformed header, expected five counts");
      }
    }
  }
  if (header[4] < 1 || header[4] > static_cast<long long>(text.size())) {
    throw Bad(path, 1, "node count out of range");
  }
  const long long n = header[4];
  netlist.nodes.resize(static_cast<size_t>(n));
  for (SizedNetlist::Node& node : netlist.nodes) {
    ++number;
    if (!lines.Next(line)) throw Bad(path, number, "fewer node lines than the header says");
    Tokenizer tokens(line, kNetlistSeparators);
    long long fanout = 0, count = 0;
    if (!tokens.Next(token)) throw Bad(path, number, "empty node line");
    if (token == "po") {
      node.output = true;
      if (!tokens.Next(token)) throw Bad(path, number, "malformed node line");
    }
    node.type = std::string(token);
    if (!tokens.Next(token) || !ParseCount(token, fanout) || !tokens.Next(token) ||
        !ParseCount(token, count)) {
      throw Bad(path, number, "malformed node line");
    }
    if (node.type == "pri" ? (count != 0 || node.output) : !IsLibraryType(node.type) || count < 1) {
      throw Bad(path, number, "node of type '" + node.type + "' cannot be written");
    }
    if ((node.type == "INV" || node.type == "BUF") && count != 1) {
      throw Bad(path, number, node.type + " with more than one input");
    }
    // A cover lists every odd (or even) input pattern of an XOR: wider ones stay unwritten.
    if ((node.type == "XOR" || node.type == "XNOR") && count > kWidestXor) {
      throw Bad(path, number,
                node.type + " of more than " + std::to_string(kWidestXor) + " inputs");
    }
    for (long long k = 0; k < count; ++k) {
      long long driver = 0, unused = 0;
      if (!tokens.Next(token) || !ParseCount(token, driver) || driver < 1 || driver > n ||
          !tokens.Next(token) || !tokens.Next(token)) {
        throw Bad(path, number, "malformed fan-in " + std::to_string(k + 1));
      }
      (void)unused;
      node.fanins.push_back(static_cast<int>(driver));
    }
    if (tokens.Next(token)) throw Bad(path, number, "more tokens than fan-ins");
  }
  while (lines.Next(line)) {
    ++number;
    if (line.find_first_not_of(" \r\t") != std::string_view::npos) {
      throw Bad(path, number, "more node lines than the header says");
    }
  }
}

void ReadNames(const std::string& path, SizedNetlist& netlist) {
  try {
    tools::Names names = tools::ReadNames(Read(path), netlist.nodes.size());
    for (size_t k = 0; k < netlist.nodes.size(); ++k) {
      netlist.nodes[k].name = std::move(names.ofNode[k]);
    }
    netlist.constantOutputs = std::move(names.constantOutputs);
  } catch (const tools::LineError& e) {
    throw Bad(path, e.line, e.message);
  }
}

// The rows after the "--" underline of the gate-sizing table: ID, type, size.
void ReadResult(const std::string& path, SizedNetlist& netlist) {
  const std::string text = Read(path);
  LineReader lines(text);
  std::string_view line, id, type, size;
  int number = 0;
  bool table = false;
  while (lines.Next(line)) {
    ++number;
    if (!table) {
      table = line.substr(0, 3) == "--\t";
      continue;
    }
    Tokenizer tokens(line, kLibrarySeparators);
    long long value = 0;
    if (!tokens.Next(id)) continue;
    if (!ParseCount(id, value) || value < 1 ||
        value > static_cast<long long>(netlist.nodes.size()) || !tokens.Next(type) ||
        !tokens.Next(size) || netlist.nodes[value - 1].type != type) {
      throw Bad(path, number, "this result does not belong to the netlist");
    }
    netlist.nodes[value - 1].size = std::string(size);
  }
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    if (netlist.nodes[k].type != "pri" && netlist.nodes[k].size.empty()) {
      throw Bad(path, 0,
                "no size for gate " + std::to_string(k + 1) +
                    ": this result does not belong to the netlist");
    }
  }
}

void MakeNetNames(SizedNetlist& netlist) {
  const size_t n = netlist.nodes.size();
  std::unordered_set<std::string> used;
  netlist.netNames.assign(n, "");
  for (size_t k = 0; k < n; ++k) {
    const std::string& name = netlist.nodes[k].name;
    if (!name.empty() && used.insert(name).second) netlist.netNames[k] = name;
  }
  for (size_t k = 0; k < n; ++k) {
    if (!netlist.netNames[k].empty()) continue;
    const std::string id = std::to_string(k + 1);
    std::string name = netlist.nodes[k].name.empty() ? "n" + id : netlist.nodes[k].name + "$" + id;
    while (!used.insert(name).second) name += "_";
    netlist.netNames[k] = name;
  }
}

// The name under which the circuit output of po node k is listed: its own name, or, where the
// source output is an input (or a cut flip-flop output) of that name, the input.
const std::string& OutputName(const SizedNetlist& netlist, size_t k) {
  const SizedNetlist::Node& node = netlist.nodes[k];
  if (node.type == "BUF" && !node.name.empty() &&
      netlist.netNames[node.fanins[0] - 1] == node.name) {
    return node.name;
  }
  return netlist.netNames[k];
}

void CheckName(const std::string& name, const char* forbidden, const char* format) {
  if (name.find_first_of(forbidden) != std::string::npos) {
    throw FormatError(kTool + std::string("the name '") + name + "' cannot be written in " +
                      format);
  }
}

}  // namespace

SizedNetlist ReadSizedNetlist(const std::string& netPath, const std::string& namesPath,
                              const std::string& resultPath) {
  SizedNetlist netlist;
  ReadNet(netPath, netlist);
  if (!namesPath.empty()) ReadNames(namesPath, netlist);
  if (!resultPath.empty()) ReadResult(resultPath, netlist);
  MakeNetNames(netlist);
  return netlist;
}

std::string WriteBlif(const SizedNetlist& netlist, const std::string& model) {
  const char kForbidden[] = " \t\r\n#\\=";
  std::string out = ".model " + model + "\n.inputs";
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    if (netlist.nodes[k].type != "pri") continue;
    CheckName(netlist.netNames[k], kForbidden, "BLIF");
    out += " " + netlist.netNames[k];
  }
  out += "\n.outputs";
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    if (netlist.nodes[k].output) out += " " + OutputName(netlist, k);
  }
  for (const auto& [name, value] : netlist.constantOutputs) {
    CheckName(name, kForbidden, "BLIF");
    out += " " + name;
  }
  out += '\n';
  for (const auto& [name, value] : netlist.constantOutputs) {
    out += ".names " + name + (value ? "\n1\n" : "\n");
  }
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    const SizedNetlist::Node& node = netlist.nodes[k];
    if (node.type == "pri") continue;
    CheckName(netlist.netNames[k], kForbidden, "BLIF");
    if (!node.size.empty()) {
      out += "# " + std::to_string(k + 1) + " " + node.type + " size " + node.size + "\n";
    }
    out += ".names";
    for (int fanin : node.fanins) out += " " + netlist.netNames[fanin - 1];
    out += " " + netlist.netNames[k] + "\n";
    const size_t n = node.fanins.size();
    const std::string& t = node.type;
    if (t == "XOR" || t == "XNOR") {
      // The full on-set: every input pattern of odd (XOR) or even (XNOR) parity.
      for (unsigned long m = 0; m < (1ul << n); ++m) {
        if ((__builtin_popcountl(m) & 1) != (t == "XOR" ? 1 : 0)) continue;
        for (size_t j = 0; j < n; ++j) out += ((m >> j) & 1) ? '1' : '0';
        out += " 1\n";
      }
      continue;
    }
    // One row each: AND/BUF on 1..1, NAND off at 1..1, OR off at 0..0, NOR/INV on at 0..0.
    const bool ones = t == "AND" || t == "NAND" || t == "BUF";
    const bool on = t == "AND" || t == "BUF" || t == "NOR" || t == "INV";
    out += std::string(n, ones ? '1' : '0') + (on ? " 1\n" : " 0\n");
  }
  out += ".end\n";
  return out;
}

std::string WriteBench(const SizedNetlist& netlist, const std::string&) {
  const char kForbidden[] = " \t\r\n#(),=";
  std::string out = "# written by tambril-export\n";
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    if (netlist.nodes[k].type != "pri") continue;
    CheckName(netlist.netNames[k], kForbidden, ".bench");
    out += "INPUT(" + netlist.netNames[k] + ")\n";
  }
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    if (netlist.nodes[k].output) out += "OUTPUT(" + OutputName(netlist, k) + ")\n";
  }
  for (const auto& [name, value] : netlist.constantOutputs) {
    out += "# constant output " + name + " = " + (value ? "1" : "0") + "\n";
  }
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    const SizedNetlist::Node& node = netlist.nodes[k];
    if (node.type == "pri") continue;
    CheckName(netlist.netNames[k], kForbidden, ".bench");
    const std::string type = node.type == "INV" ? "NOT" : node.type == "BUF" ? "BUFF" : node.type;
    out += netlist.netNames[k] + " = " + type + "(";
    for (size_t j = 0; j < node.fanins.size(); ++j) {
      out += (j > 0 ? ", " : "") + netlist.netNames[node.fanins[j] - 1];
    }
    out += ")";
    if (!node.size.empty()) out += "  # size " + node.size;
    out += '\n';
  }
  return out;
}

std::string WriteCsv(const SizedNetlist& netlist, const std::string&) {
  const auto field = [](const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
  };
  std::string out = "name,type,inputs,size\n";
  for (size_t k = 0; k < netlist.nodes.size(); ++k) {
    const SizedNetlist::Node& node = netlist.nodes[k];
    if (node.type == "pri") continue;
    const std::string& name = node.name.empty() ? netlist.netNames[k] : node.name;
    out += field(name) + "," + node.type + "," + std::to_string(node.fanins.size()) + "," +
           node.size + "\n";
  }
  return out;
}

const std::vector<OutputFormat>& OutputFormats() {
  static const std::vector<OutputFormat> kFormats = {
      {".blif", "", WriteBlif},
      {".bench", "", WriteBench},
      {".csv", "a CSV table needs a RESULT file", WriteCsv},
  };
  return kFormats;
}

const OutputFormat* OutputFormatOf(const std::string& path) {
  for (const OutputFormat& format : OutputFormats()) {
    if (path.size() >= format.extension.size() &&
        path.compare(path.size() - format.extension.size(), format.extension.size(),
                     format.extension) == 0) {
      return &format;
    }
  }
  return nullptr;
}

}  // namespace tambril::exporter
