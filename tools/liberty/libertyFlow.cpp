#include "libertyFlow.h"

#include "common/inputFile.h"
#include "io/error.h"
#include "io/text.h"

namespace tambril::liberty {

Imported ImportDesign(const Design& design, const VerilogNetlist& netlist, const Families& families,
                      const std::string& sourcePath) {
  Imported out;
  const int nets = design.NetCount();
  std::vector<int> node(nets, 0);
  std::vector<int> inputNets;
  const auto read = [&](int net) { return design.sinkStart[net + 1] > design.sinkStart[net]; };
  for (int net : netlist.inputs) {
    if (read(net) && node[net] == 0) {
      inputNets.push_back(net);
      node[net] = static_cast<int>(inputNets.size());
    }
  }
  for (int net = 0; net < nets; ++net) {
    if (read(net) && design.driver[net] < 0 && node[net] == 0) {
      inputNets.push_back(net);
      node[net] = static_cast<int>(inputNets.size());
    }
  }
  const int first = static_cast<int>(inputNets.size());
  const int gates = static_cast<int>(design.gates.size());
  for (int g = 0; g < gates; ++g) node[design.gates[g].output] = first + g + 1;

  std::string body;
  std::string names;
  for (int k = 0; k < first; ++k) {
    const int net = inputNets[k];
    body += "pri " + std::to_string(design.sinkStart[net + 1] - design.sinkStart[net]) + " 0\n";
    names += std::to_string(k + 1) + "\t" + netlist.netNames[net] + "\n";
  }
  int outputs = 0;
  for (int g = 0; g < gates; ++g) {
    const Design::Gate& gate = design.gates[g];
    const Family& family = families.families[gate.family];
    const int fanout = design.sinkStart[gate.output + 1] - design.sinkStart[gate.output];
    const bool output = design.endpoint[gate.output] || fanout == 0;
    if (output) {
      body += "po ";
      ++outputs;
    }
    body += family.type + " " + std::to_string(fanout) + " " + std::to_string(family.Inputs());
    for (int k = 0; k < family.Inputs(); ++k) {
      body += " " + std::to_string(node[design.fanins[gate.firstFanin + k]]) + " 0 0";
    }
    body += "\n";
    const VerilogNetlist::Instance& instance = netlist.instances[gate.instance];
    names += std::to_string(first + g + 1) + "\t" + instance.name + "\t" + instance.cellName + "\n";
  }
  names += "verilog\t" + sourcePath + "\n";
  out.netlist = std::to_string(gates) + " 0 0 " + std::to_string(outputs) + " " +
                std::to_string(first + gates) + "\n" + body;
  out.names = std::move(names);
  out.gates = gates;
  out.inputs = first;
  out.outputs = outputs;
  return out;
}

SizedNames ReadNames(const std::string& path, const std::string& program) {
  const std::string text = tools::ReadInput(program, path);
  SizedNames names;
  LineReader lines(text);
  std::string_view line;
  int number = 0;
  const auto fail = [&](const std::string& message) {
    return FormatError(program + ": " + path + ":" + std::to_string(number) + ": " + message);
  };
  while (lines.Next(line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) throw fail("expected ID<TAB>NAME");
    const std::string_view head = line.substr(0, tab);
    const std::string_view rest = line.substr(tab + 1);
    if (head == "verilog") {
      names.verilogPath = std::string(rest);
      continue;
    }
    int id;
    if (!ParseWholeInt(head, id) || id < 1)
      throw fail("'" + std::string(head) + "' is not a node id");
    const size_t second = rest.find('\t');
    if (second == std::string_view::npos) continue;  // a net of an input node
    names.gates.emplace_back(id, std::string(rest.substr(0, second)));
  }
  if (names.verilogPath.empty()) {
    throw FormatError(program + ": " + path +
                      ": names no Verilog source; it was not written by tambril-import --liberty");
  }
  return names;
}

void ReadResult(const std::string& path, const std::string& program, std::vector<double>& sizes,
                std::vector<std::string>& types) {
  const std::string text = tools::ReadInput(program, path);
  LineReader lines(text);
  std::string_view line;
  int number = 0;
  bool inTable = false;
  while (lines.Next(line)) {
    ++number;
    if (!inTable) {
      inTable = line.substr(0, 2) == "--";
      continue;
    }
    if (IsBlank(line)) continue;
    Tokenizer fields(line, kWhiteSpace);
    std::string_view id, type, size;
    int node;
    double value;
    if (!fields.Next(id) || !fields.Next(type) || !fields.Next(size) || !ParseWholeInt(id, node) ||
        node < 1 || node > 100000000 || !ParseWholeNumber(size, value) || !(value > 0)) {
      throw FormatError(program + ": " + path + ":" + std::to_string(number) +
                        ": not a line of a TAMBRIL result");
    }
    if (static_cast<size_t>(node) >= sizes.size()) {
      sizes.resize(node + 1, 0.0);
      types.resize(node + 1);
    }
    sizes[node] = value;
    types[node] = std::string(type);
  }
  if (!inTable) {
    throw FormatError(program + ": " + path + ": not a TAMBRIL result file");
  }
}

}  // namespace tambril::liberty
