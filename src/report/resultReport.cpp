// The result file: start time, statistics and the size of every gate.
#include <ctime>
#include <string>

#include "io/error.h"
#include "io/outputFile.h"
#include "model/netlist.h"

using namespace tambril;

void CNetlist::OutputResult(const char* resultFileName) {
  const std::string fileName = resultFileName;
  OutputFile out;
  if (!out.OpenReplacing(fileName)) throw CannotOpen(fileName);
  // The optimiser rewrites the log "convergence.txt" pass by pass; a second run in the same
  // directory would write it at the same time, so it stops here instead, with nothing changed.
  FileLock logLock;
  if (!logLock.TryLock("convergence.txt")) throw CannotLock("convergence.txt");
  const auto check = [&] {
    if (!out.ok()) throw CannotWrite(fileName);
  };

  const char* started = std::ctime(&startTime);  // ends with its own line end
  out.Put("TAMBRIL ran on ").Put(started != nullptr ? started : "(unknown time)\n").EndLine();
  check();

  TAMBRIL();

  endClock = std::clock();
  runtime = static_cast<double>(endClock - startClock) / static_cast<double>(CLOCKS_PER_SEC);

  out.EndLine();
  out.Put("Statistics").EndLine();
  out.Put("==========").EndLine();
  out.Put("Circuit Size     : ").Put(static_cast<long long>(circuitSize)).EndLine();
  out.Put("Maximum Delay (s): ").Put(maxDelay).EndLine();
  out.Put("Runtime       (s): ").Put(runtime).EndLine();
  out.EndLine();
  out.Put("Gate-sizing solution").EndLine();
  out.Put("====================").EndLine();
  out.Put("ID\tName\tSize(m^2)").EndLine();
  out.Put("--\t----\t---------").EndLine();
  check();
  for (const PartType& part : parts) {
    const CGate& gate = part.gate;
    if (IsPrimaryInputNode(gate) || IsSourceNode(gate) || IsSinkNode(gate)) continue;
    out.Put(static_cast<long long>(gate.id)).Put("\t").Put(gate.Name()).Put("\t").Put(gate.size);
    out.EndLineBuffered();
    if (!out.ok()) break;
  }
  if (!out.Commit()) throw CannotWrite(fileName);
}
