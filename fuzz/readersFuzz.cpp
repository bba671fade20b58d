// libFuzzer target for the two readers, run in process: every input must end either in a
// library and circuit that keep the readers' rules, or in a tambril::Error. A crash, a hang, a
// leak, another exception, or a read that breaks a rule is a finding. An input is a library,
// then a line "%%", then a netlist; without that line it is a library alone. See fuzz/run.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "io/error.h"
#include "run/netlist.h"

namespace {

std::string scratch;  // this process's directory for the two files

// Rows ascending and at least 1 within each type, types ascending, constants finite with Cin
// and R above 0 and Cout at least 0; then, when read, every counted node line plus the two
// pseudo-nodes, connections within the graph, every gate bound, both walk orders complete.
bool KeepsTheRules(const CNetlist& net, bool withCircuit) {
  for (size_t t = 0; t < net.gateTypes.size(); ++t) {
    const std::vector<CGateData>& rows = net.gateTypes[t].data;
    if (rows.empty() || (t > 0 && !(net.gateTypes[t - 1] < net.gateTypes[t]))) return false;
    for (size_t r = 0; r < rows.size(); ++r) {
      const CGateData& row = rows[r];
      if (row.key < 1 || (r > 0 && rows[r - 1].key >= row.key) || !(row.unitInputCap > 0.0) ||
          !(row.unitResistance > 0.0) || !(row.unitOutputCap >= 0.0) ||
          !std::isfinite(row.unitInputCap) || !std::isfinite(row.unitResistance) ||
          !std::isfinite(row.unitOutputCap)) {
        return false;
      }
    }
  }
  if (!withCircuit) return true;
  const size_t n = net.parts.size();
  if (net.nodeLineCount < 1 || n != static_cast<size_t>(net.nodeLineCount) + 2 ||
      net.forwardOrder.size() != n || net.reverseOrder.size() != n) {
    return false;
  }
  for (const PartType& part : net.parts) {
    for (const PartInfo& link : part.fanIns) {
      if (link.node < 1 || static_cast<size_t>(link.node) > n) return false;
    }
    const CGate& gate = part.gate;
    if (tambril::IsReservedNodeName(gate.name)) continue;
    if (gate.fanInCount < 1 || !(gate.unitResistance > 0.0) || !(gate.unitInputCap > 0.0)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratch = std::filesystem::temp_directory_path().string() + "/readersFuzz_XXXXXX";
  if (::mkdtemp(scratch.data()) == nullptr) std::abort();
  std::atexit([] { std::filesystem::remove_all(scratch); });
  std::cout.setstate(std::ios::badbit);  // the library echo
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find("\n%%\n");
  const bool withCircuit = marker != std::string_view::npos;
  const std::string library = scratch + "/param.txt", netlist = scratch + "/c.net";
  std::ofstream(library, std::ios::binary) << input.substr(0, withCircuit ? marker + 1 : size);
  if (withCircuit) std::ofstream(netlist, std::ios::binary) << input.substr(marker + 4);
  CNetlist net;
  try {
    net.BuildDB(library.c_str());
    if (!KeepsTheRules(net, false)) __builtin_trap();
    if (!withCircuit) return 0;
    net.InputNetlist(netlist.c_str());
    if (!KeepsTheRules(net, true)) __builtin_trap();
  } catch (const tambril::Error&) {
  }
  return 0;
}
