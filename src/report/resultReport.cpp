// The result file: start time, statistics and the size of every gate.
#include "report/resultReport.h"

#include "io/error.h"

namespace tambril {

void ResultReport::Open(const std::string& fileName, std::time_t startTime) {
  fileName_ = fileName;
  if (!out_.OpenReplacing(fileName)) throw CannotOpen(fileName);
  const char* started = std::ctime(&startTime);  // ends with its own line end
  out_.Put("TAMBRIL ran on ").Put(started != nullptr ? started : "(unknown time)\n").EndLine();
  if (!out_.ok()) throw CannotWrite(fileName);
}

void ResultReport::Finish(const RunSummary& summary, const std::vector<PartType>& parts,
                          const std::function<double(int id)>& sizeOf) {
  out_.EndLine();
  out_.Put("Statistics").EndLine();
  out_.Put("==========").EndLine();
  out_.Put("Circuit Size     : ").Put(static_cast<long long>(summary.circuitSize)).EndLine();
  out_.Put("Maximum Delay (s): ").Put(summary.maxDelay).EndLine();
  if (summary.delayTarget > 0.0) {
    out_.Put("Delay Target (s): ").Put(summary.delayTarget).EndLine();
    out_.Put("Total Area (m^2): ").Put(summary.totalArea).EndLine();
  }
  out_.Put("Runtime       (s): ").Put(summary.runtime).EndLine();
  out_.EndLine();
  out_.Put("Gate-sizing solution").EndLine();
  out_.Put("====================").EndLine();
  out_.Put("ID\tName\tSize(m^2)").EndLine();
  out_.Put("--\t----\t---------").EndLine();
  if (!out_.ok()) throw CannotWrite(fileName_);
  for (const PartType& part : parts) {
    const CGate& gate = part.gate;
    if (IsPrimaryInputNode(gate) || IsSourceNode(gate) || IsSinkNode(gate)) continue;
    out_.Put(static_cast<long long>(gate.id)).Put("\t").Put(gate.Name()).Put("\t");
    out_.Put(sizeOf(gate.id)).EndLineBuffered();
    if (!out_.ok()) break;
  }
  if (!out_.Commit()) throw CannotWrite(fileName_);
}

}  // namespace tambril
