// libFuzzer target for the two readers, run in process: every input must end either in a
// library and circuit that the optimiser can take, or in a tambril::Error. A crash, a hang, a
// leak, any other exception, or a read that succeeds with a value the rules forbid is a finding.
//
// An input is a library, then a line "%%", then a netlist; without that line it is a library
// alone. fuzz/run builds and runs it.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "io/error.h"
#include "model/netlist.h"

namespace {

std::string scratch;  // this process's directory for the two files

void WriteOrDie(const std::string& path, std::string_view text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
      std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

// What BuildDB promises: types ascending by name, each with rows ascending by input count,
// every count at least 1 and every constant finite, Cin and R above 0, Cout at least 0.
bool LibraryIsSound(const CNetlist& net) {
  for (size_t t = 0; t < net.gateTypes.size(); ++t) {
    const CGateType& type = net.gateTypes[t];
    if (type.data.empty() || (t > 0 && !(net.gateTypes[t - 1] < type))) return false;
    for (size_t r = 0; r < type.data.size(); ++r) {
      const CGateData& row = type.data[r];
      if (row.key < 1 || (r > 0 && type.data[r - 1].key >= row.key)) return false;
      if (!std::isfinite(row.unitInputCap) || !std::isfinite(row.unitResistance) ||
          !std::isfinite(row.unitOutputCap) || !(row.unitInputCap > 0.0) ||
          !(row.unitResistance > 0.0) || !(row.unitOutputCap >= 0.0)) {
        return false;
      }
    }
  }
  return true;
}

// What InputNetlist promises: every counted node line read, the two pseudo-nodes added,
// connections within the graph, every gate bound, and both walk orders complete.
bool CircuitIsSound(const CNetlist& net) {
  const size_t n = net.parts.size();
  if (net.nodeLineCount < 1 || n != static_cast<size_t>(net.nodeLineCount) + 2) return false;
  if (net.forwardOrder.size() != n || net.reverseOrder.size() != n) return false;
  for (const PartType& part : net.parts) {
    for (const PartInfo& link : part.fanIns) {
      if (link.node < 1 || static_cast<size_t>(link.node) > n) return false;
    }
    const CGate& gate = part.gate;
    if (tambril::IsPrimaryInputNode(gate) || tambril::IsSourceNode(gate) ||
        tambril::IsSinkNode(gate)) {
      continue;
    }
    if (gate.fanInCount < 1 || !(gate.unitResistance > 0.0) || !(gate.unitInputCap > 0.0)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/readersFuzz_XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  scratch = pattern;
  std::atexit([] { std::filesystem::remove_all(scratch); });
  std::cout.setstate(std::ios::badbit);  // the library echo
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find("\n%%\n");
  const std::string library = scratch + "/param.txt";
  const std::string netlist = scratch + "/c.net";
  WriteOrDie(library, input.substr(0, marker == std::string_view::npos ? size : marker + 1));
  if (marker != std::string_view::npos) WriteOrDie(netlist, input.substr(marker + 4));

  CNetlist net;
  try {
    net.BuildDB(library.c_str());
    if (!LibraryIsSound(net)) __builtin_trap();
    if (marker == std::string_view::npos) return 0;
    net.InputNetlist(netlist.c_str());
    if (!CircuitIsSound(net)) __builtin_trap();
  } catch (const tambril::Error&) {
  }
  return 0;
}
