// tambril [--method NAME] [--threads N] NETLIST RESULT [INNER] [OUTER]: sizes the gates of a
// combinational circuit for minimum delay. The gate library is "param.txt" in the working
// directory.
#include "io/error.h"
#include "io/outputFile.h"
#include "model/netlist.h"
#include "run/commandLine.h"
#include "run/runMain.h"

int main(int argc, char** argv) {
  return tambril::RunMain([&] {
    CNetlist netlist;
    const tambril::CommandLine command = tambril::ParseCommandLine(argc, argv);
    tambril::Configure(command, netlist);
    netlist.BuildDB("param.txt");
    netlist.InputNetlist(command.netlist.c_str());
    // The result replaces its target whole: never a file that this run reads or logs to.
    for (const char* other : {command.netlist.c_str(), "param.txt", "convergence.txt"}) {
      if (tambril::SameFile(command.result, other)) throw tambril::CannotWrite(command.result);
    }
    netlist.OutputResult(command.result.c_str());
  });
}
