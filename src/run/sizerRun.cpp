#include "run/sizerRun.h"

#include "io/error.h"
#include "io/outputFile.h"
#include "run/netlist.h"
#include "util/parallel.h"

namespace tambril {

int RunSizer(const CommandLine& command) {
  SetThreadCount(ThreadsFor(command));
  CNetlist netlist;
  for (const std::string& line : command.warnings) netlist.reporter->Warning(line);
  Configure(command, netlist);
  // Unless the command line fixes the count, the optimiser uses one thread or all of them,
  // whichever it finds faster on this circuit and this machine.
  netlist.sizing.chooseThreads = command.threads == 0;
  netlist.BuildDB("param.txt");
  netlist.InputNetlist(command.netlist.c_str());
  // The result replaces its target whole: never a file that this run reads or logs to.
  for (const std::string& other :
       {command.netlist, std::string("param.txt"), netlist.sizing.logPath}) {
    if (SameFile(command.result, other)) throw CannotWrite(command.result);
  }
  // Nor is the log, which the optimiser opens without following a link.
  netlist.sizing.logApart = {command.netlist, "param.txt"};
  netlist.OutputResult(command.result.c_str());
  return netlist.Optimizer().Stats().targetMissed ? 2 : 0;
}

}  // namespace tambril
