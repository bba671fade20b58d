// tambril [--method NAME] [--threads N] [--delay-target T] NETLIST RESULT [INNER] [OUTER]:
// sizes the gates of a combinational circuit for minimum delay, or for minimum area under a
// delay of T seconds. The gate library is "param.txt" in the working directory.
#include "io/runMain.h"
#include "run/commandLine.h"
#include "run/sizerRun.h"

int main(int argc, char** argv) {
  return tambril::RunMainWithStatus(
      [&] { return tambril::RunSizer(tambril::ParseCommandLine(argc, argv)); });
}
