// tambril [--method NAME] [--threads N] NETLIST RESULT [INNER] [OUTER]: sizes the gates of a
// combinational circuit for minimum delay. The gate library is "param.txt" in the working
// directory.
#include "io/runMain.h"
#include "run/commandLine.h"
#include "run/sizerRun.h"

int main(int argc, char** argv) {
  return tambril::RunMain([&] { tambril::RunSizer(tambril::ParseCommandLine(argc, argv)); });
}
