// tambril_dump [NETLIST]: reads "param.txt" and, if named, a netlist, the way the sizer does,
// and prints everything that was read in a canonical form, so that the reader tables
// (tests/contract/readers.contract) can state exactly what a file means. Numbers are printed
// in the shortest form that reads back to the same double.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "io/runMain.h"
#include "run/netlist.h"

namespace {

std::string Exact(double value) {
  char text[40];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

void Links(const char* label, const std::vector<PartInfo>& links) {
  std::cout << ' ' << label;
  for (const PartInfo& link : links) {
    std::cout << " (" << link.node << ',' << link.pin;
    if (link.connValue1 != 0.0 || link.connValue2 != 0.0) {
      std::cout << ',' << Exact(link.connValue1) << ',' << Exact(link.connValue2);
    }
    std::cout << ')';
  }
}

}  // namespace

int main(int argc, char** argv) {
  return tambril::RunMain([&] {
    CNetlist net;
    net.BuildDB("param.txt");
    std::cout << "\n";
    for (const CGateType& type : net.gateTypes) {
      std::cout << "type [" << type.name << "]";
      for (const CGateData& row : type.data) {
        std::cout << " | " << row.key << ' ' << Exact(row.unitInputCap) << ' '
                  << Exact(row.unitResistance) << ' ' << Exact(row.unitOutputCap) << ' '
                  << Exact(row.value4) << ' ' << Exact(row.value5);
        if (row.maxSize > 0) {
          std::cout << " sizes " << Exact(row.minSize) << ' ' << Exact(row.maxSize);
        }
      }
      std::cout << "\n";
    }
    if (argc < 2) return;
    net.InputNetlist(argv[1]);
    std::cout << "header " << net.circuitSize << ' ' << net.headerValue2 << ' ' << net.headerValue3
              << ' ' << net.outputCount << ' ' << net.nodeLineCount << " parts " << net.partCount
              << "\n";
    for (const PartType& part : net.parts) {
      const CGate& g = part.gate;
      std::cout << g.id << ' ' << g.name << (g.isPrimaryOutput ? " po" : "") << " in "
                << g.fanInCount << " out " << g.fanOutCount << " R " << Exact(g.unitResistance)
                << " Cin " << Exact(g.unitInputCap) << " Cout " << Exact(g.unitOutputCap);
      if (g.minSize != CGate().minSize || g.maxSize != CGate().maxSize) {
        std::cout << " sizes " << Exact(g.minSize) << ' ' << Exact(g.maxSize);
      }
      Links("from", part.fanIns);
      Links("to", part.fanOuts);
      std::cout << " lambdas";
      for (double lambda : g.lambdas) std::cout << ' ' << Exact(lambda);
      std::cout << " arrivals";
      for (double arrival : g.inputArrivals) std::cout << ' ' << Exact(arrival);
      std::cout << "\n";
    }
    std::cout << "forward";
    for (int id : net.forwardOrder) std::cout << ' ' << id;
    std::cout << "\nreverse";
    for (int id : net.reverseOrder) std::cout << ' ' << id;
    std::cout << "\n";
  });
}
