// tambril [--method NAME] NETLIST RESULT [INNER] [OUTER]: sizes the gates of a combinational
// circuit for minimum delay. The gate library is "param.txt" in the working directory.
#include <iostream>
#include <new>

#include "io/error.h"
#include "model/netlist.h"
#include "run/commandLine.h"

int main(int argc, char** argv) {
  try {
    CNetlist netlist;
    const tambril::CommandLine command = tambril::ParseCommandLine(argc, argv);
    if (command.hasInner) netlist.innerImprove = command.inner;
    if (command.hasOuter) netlist.outerImprove = command.outer;
    netlist.method = command.method;

    netlist.BuildDB("param.txt");
    netlist.InputNetlist(command.netlist.c_str());
    netlist.OutputResult(command.result.c_str());
    return 0;
  } catch (const tambril::Error& error) {
    std::cout.flush();
    std::cerr << error.what() << std::endl;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "Memory Error: not enough memory" << std::endl;
  }
  return 1;
}
