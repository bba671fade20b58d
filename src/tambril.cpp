// tambril NETLIST RESULT [inner] [outer]: sizes the gates of a combinational circuit for
// minimum delay. The gate library is "param.txt" in the working directory.
#include <cstdlib>
#include <iostream>
#include <string>

#include "model/netlist.h"

int main(int argc, char** argv) {
  CNetlist netlist;
  if (argc < 3) {
    std::cerr << "Usage Error: TAMBRIL [input filename] [output filename] "
                 "[*innerloop %improvement] [*outerloop %improvement]"
              << std::endl;
    std::cerr << "* Indicates optional field" << std::endl;
    return 1;
  }
  const std::string inputFileName = argv[1];
  const std::string outputFileName = argv[2];
  if (argc == 4 || argc == 5) netlist.innerImprove = std::atof(argv[3]);
  if (argc == 5) netlist.outerImprove = std::atof(argv[4]);

  netlist.BuildDB("param.txt");
  netlist.InputNetlist(inputFileName.c_str());
  netlist.OutputResult(outputFileName.c_str());
  return 0;
}
