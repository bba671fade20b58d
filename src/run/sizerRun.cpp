#include "run/sizerRun.h"

#include <memory>

#include "io/error.h"
#include "io/outputFile.h"
#include "run/netlist.h"
#include "util/parallel.h"

namespace tambril {

namespace {

// The netlist of the finished run. Its records, four small allocations per node, take a fifth
// of a second to free at a million gates; the process ends right after the run and returns
// the memory whole, so they are kept to the end (reachable from here, so no leak is reported).
const CNetlist* finished = nullptr;

}  // namespace

int RunSizer(const CommandLine& command) {
  SetThreadCount(ThreadsFor(command));
  auto owned = std::make_unique<CNetlist>();
  CNetlist& netlist = *owned;
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
  const int status = netlist.Optimizer().Stats().targetMissed ? 2 : 0;
  delete finished;
  finished = owned.release();
  return status;
}

}  // namespace tambril
