#ifndef TAMBRIL_RUN_SIZERRUN_H
#define TAMBRIL_RUN_SIZERRUN_H

#include "run/commandLine.h"

namespace tambril {

// One sizing run, as the command line asks: the threads (once, before anything runs), the
// command line's warnings, then the stages in their fixed order: BuildDB("param.txt"),
// InputNetlist, OutputResult (which runs the optimiser). Throws tambril::Error. Returns the exit
// status of a run that completes: 0, or 2 when no sizing met the delay target. The netlist of a
// completed run is kept until the next call or the end of the process, which frees it faster.
int RunSizer(const CommandLine& command);

}  // namespace tambril

#endif
