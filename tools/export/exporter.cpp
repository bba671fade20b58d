#include "export/exporter.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <unordered_set>
#include <utility>

#include "common/inputFile.h"
#include "common/lineError.h"
#include "common/namesFile.h"
#include "io/error.h"
#include "io/outputFile.h"
#include "io/text.h"

namespace tambril::exporter {
namespace {

const char kTool[] = "tambril-export";

// The sizes the sizer can write: its bounds, computed as it computes them.
const double kMinSize = 16.9 * 1e-15;
const double kMaxSize = 10 * 1e-9;

constexpr Separators kTabs("\t");

// A cover lists every odd (or even) input pattern of an XOR: wider ones stay unwritten.
constexpr size_t kWidestXor = 16;

FormatError Bad(const std::string& path, int line, const std::string& message) {
  return FormatError(std::string(kTool) + ": " + path +
                     (line > 0 ? ":" + std::to_string(line) : "") + ": " + message);
}

void ReadNet(const std::string& path, SizedNetlist& sized) {
  try {
    sized.netlist = tools::ReadNetlist(tools::ReadInput(kTool, path));
  } catch (const tools::LineError& e) {
    throw Bad(path, e.line, e.message);
  }
  const tools::Netlist& netlist = sized.netlist;
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (!netlist.IsInput(k) && netlist.FaninCount(k) > kWidestXor &&
        (netlist.TypeOf(k) == tools::kXor || netlist.TypeOf(k) == tools::kXnor)) {
      throw Bad(path, static_cast<int>(k + 2),
                std::string(tools::GateTypeName(netlist.TypeOf(k))) + " of more than " +
                    std::to_string(kWidestXor) + " inputs");
    }
  }
  sized.names.assign(netlist.Nodes(), "");
  sized.sizes.assign(netlist.Nodes(), "");
}

void ReadNames(const std::string& path, bool optional, SizedNetlist& sized) {
  struct stat status;
  if (optional && ::stat(path.c_str(), &status) != 0 && errno == ENOENT) return;
  try {
    tools::Names names = tools::ReadNames(tools::ReadInput(kTool, path), sized.netlist.Nodes());
    sized.names = std::move(names.ofNode);
    sized.constantOutputs = std::move(names.constantOutputs);
  } catch (const tools::LineError& e) {
    throw Bad(path, e.line, e.message);
  }
}

// The rows after the "--" underline of the gate-sizing table: ID, type, size, one per gate.
void ReadResult(const std::string& path, SizedNetlist& sized) {
  const std::string text = tools::ReadInput(kTool, path);
  const tools::Netlist& netlist = sized.netlist;
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
    Tokenizer tokens(line, kTabs);
    if (!tokens.Next(id)) continue;
    int value = 0;
    std::string_view extra;
    if (!ParseWholeInt(id, value) || value < 1 || static_cast<size_t>(value) > netlist.Nodes() ||
        netlist.IsInput(value - 1) || !tokens.Next(type) || !tokens.Next(size) ||
        tokens.Next(extra) || tools::GateTypeName(netlist.TypeOf(value - 1)) != type) {
      throw Bad(path, number, "this result does not belong to the netlist");
    }
    double number_ = 0;
    if (!ParseWholeNumber(size, number_) || !std::isfinite(number_) || number_ < kMinSize ||
        number_ > kMaxSize) {
      throw Bad(path, number,
                "size '" + tools::Printable(size) + "' of gate " + std::to_string(value) +
                    " is not a size from " + FormatDouble(kMinSize) + " to " +
                    FormatDouble(kMaxSize));
    }
    if (!sized.sizes[value - 1].empty()) {
      throw Bad(path, number, "gate " + std::to_string(value) + " sized twice");
    }
    sized.sizes[value - 1] = std::string(size);
  }
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (!netlist.IsInput(k) && sized.sizes[k].empty()) {
      throw Bad(path, 0,
                "no size for gate " + std::to_string(k + 1) +
                    ": this result does not belong to the netlist");
    }
  }
}

void MakeNetNames(SizedNetlist& sized) {
  const size_t n = sized.netlist.Nodes();
  std::unordered_set<std::string> used;
  sized.netNames.assign(n, "");
  for (size_t k = 0; k < n; ++k) {
    const std::string& name = sized.names[k];
    if (!name.empty() && used.insert(name).second) sized.netNames[k] = name;
  }
  // Constant outputs become nets of their own in BLIF: their names are taken too.
  for (const auto& constant : sized.constantOutputs) {
    if (!used.insert(constant.first).second && sized.constantClash.empty()) {
      sized.constantClash = constant.first;
    }
  }
  for (size_t k = 0; k < n; ++k) {
    if (!sized.netNames[k].empty()) continue;
    const std::string id = std::to_string(k + 1);
    std::string name = sized.names[k].empty() ? "n" + id : sized.names[k] + "$" + id;
    while (!used.insert(name).second) name += "_";
    sized.netNames[k] = name;
  }
}

// The name under which the circuit output of po node k is listed: its own name, or, where the
// source output is an input (or a cut flip-flop output) of that name, the input.
const std::string& OutputName(const SizedNetlist& sized, size_t k) {
  const tools::Netlist& netlist = sized.netlist;
  const std::string& name = sized.names[k];
  if (netlist.TypeOf(k) == tools::kBuf && !name.empty() &&
      sized.netNames[netlist.Fanin(k, 0) - 1] == name) {
    return name;
  }
  return sized.netNames[k];
}

// Refuses a name with a character of `forbidden` or a control character.
void CheckName(const std::string& name, const char* forbidden, const char* format) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f ||
        std::string_view(forbidden).find(c) != std::string_view::npos) {
      throw FormatError(std::string(kTool) + ": the name '" + tools::Printable(name) +
                        "' cannot be written in " + format);
    }
  }
}

}  // namespace

SizedNetlist ReadSizedNetlist(const std::string& netPath, const std::string& namesPath,
                              bool namesOptional, const std::string& resultPath) {
  SizedNetlist sized;
  ReadNet(netPath, sized);
  if (!namesPath.empty()) ReadNames(namesPath, namesOptional, sized);
  if (!resultPath.empty()) ReadResult(resultPath, sized);
  MakeNetNames(sized);
  return sized;
}

std::string WriteBlif(const SizedNetlist& sized, const std::string& model) {
  const char kForbidden[] = " #\\=";
  const tools::Netlist& netlist = sized.netlist;
  if (!sized.constantClash.empty()) {
    throw FormatError(std::string(kTool) + ": the constant output '" +
                      tools::Printable(sized.constantClash) +
                      "' has the name of another output or net, which BLIF cannot hold");
  }
  std::string out = ".model " + model + "\n.inputs";
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (!netlist.IsInput(k)) continue;
    CheckName(sized.netNames[k], kForbidden, "BLIF");
    out += " " + sized.netNames[k];
  }
  out += "\n.outputs";
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (netlist.output[k]) out += " " + OutputName(sized, k);
  }
  for (const auto& [name, value] : sized.constantOutputs) {
    CheckName(name, kForbidden, "BLIF");
    out += " " + name;
  }
  out += '\n';
  for (const auto& [name, value] : sized.constantOutputs) {
    out += ".names " + name + (value ? "\n1\n" : "\n");
  }
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (netlist.IsInput(k)) continue;
    const tools::GateType t = netlist.TypeOf(k);
    CheckName(sized.netNames[k], kForbidden, "BLIF");
    if (!sized.sizes[k].empty()) {
      out += "# " + std::to_string(k + 1) + " " + std::string(tools::GateTypeName(t)) + " size " +
             sized.sizes[k] + "\n";
    }
    out += ".names";
    const size_t n = netlist.FaninCount(k);
    for (size_t pin = 0; pin < n; ++pin) out += " " + sized.netNames[netlist.Fanin(k, pin) - 1];
    out += " " + sized.netNames[k] + "\n";
    if (t == tools::kXor || t == tools::kXnor) {
      // The full on-set: every input pattern of odd (XOR) or even (XNOR) parity.
      for (unsigned long m = 0; m < (1ul << n); ++m) {
        if ((__builtin_popcountl(m) & 1) != (t == tools::kXor ? 1 : 0)) continue;
        for (size_t j = 0; j < n; ++j) out += ((m >> j) & 1) ? '1' : '0';
        out += " 1\n";
      }
      continue;
    }
    // One row each: AND/BUF on 1..1, NAND off at 1..1, OR off at 0..0, NOR/INV on at 0..0.
    const bool ones = t == tools::kAnd || t == tools::kNand || t == tools::kBuf;
    const bool on = t == tools::kAnd || t == tools::kBuf || t == tools::kNor || t == tools::kInv;
    out += std::string(n, ones ? '1' : '0') + (on ? " 1\n" : " 0\n");
  }
  out += ".end\n";
  return out;
}

std::string WriteBench(const SizedNetlist& sized, const std::string&) {
  const char kForbidden[] = " #(),=";
  const tools::Netlist& netlist = sized.netlist;
  std::string out = "# written by tambril-export\n";
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (!netlist.IsInput(k)) continue;
    CheckName(sized.netNames[k], kForbidden, ".bench");
    out += "INPUT(" + sized.netNames[k] + ")\n";
  }
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (netlist.output[k]) out += "OUTPUT(" + OutputName(sized, k) + ")\n";
  }
  for (const auto& [name, value] : sized.constantOutputs) {
    CheckName(name, kForbidden, ".bench");
    out += "# constant output " + name + " = " + (value ? "1" : "0") + "\n";
  }
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (netlist.IsInput(k)) continue;
    CheckName(sized.netNames[k], kForbidden, ".bench");
    const tools::GateType t = netlist.TypeOf(k);
    const std::string type = t == tools::kInv   ? "NOT"
                             : t == tools::kBuf ? "BUFF"
                                                : std::string(tools::GateTypeName(t));
    out += sized.netNames[k] + " = " + type + "(";
    for (size_t pin = 0; pin < netlist.FaninCount(k); ++pin) {
      out += (pin > 0 ? ", " : "") + sized.netNames[netlist.Fanin(k, pin) - 1];
    }
    out += ")";
    if (!sized.sizes[k].empty()) out += "  # size " + sized.sizes[k];
    out += '\n';
  }
  return out;
}

std::string WriteCsv(const SizedNetlist& sized, const std::string&) {
  const auto field = [](std::string text) {
    if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos) {
      text.insert(0, 1, '\'');
    }
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
  };
  const tools::Netlist& netlist = sized.netlist;
  std::string out = "name,type,inputs,size\n";
  for (size_t k = 0; k < netlist.Nodes(); ++k) {
    if (netlist.IsInput(k)) continue;
    const std::string& name = sized.names[k].empty() ? sized.netNames[k] : sized.names[k];
    out += field(name) + "," + std::string(tools::GateTypeName(netlist.TypeOf(k))) + "," +
           std::to_string(netlist.FaninCount(k)) + "," + sized.sizes[k] + "\n";
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

std::string ModelName(const std::string& netPath) {
  std::string model = netPath.substr(netPath.find_last_of('/') + 1);
  if (model.size() > 4 && model.compare(model.size() - 4, 4, ".net") == 0)
    model.resize(model.size() - 4);
  for (char& c : model) {
    if (!std::isalnum(static_cast<unsigned char>(c)) &&
        std::string_view("_.-$").find(c) == std::string_view::npos) {
      c = '_';
    }
  }
  return model.empty() ? "netlist" : model;
}

}  // namespace tambril::exporter
