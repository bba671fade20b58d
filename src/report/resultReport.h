#ifndef TAMBRIL_REPORT_RESULTREPORT_H
#define TAMBRIL_REPORT_RESULTREPORT_H

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "io/outputFile.h"
#include "model/part.h"

namespace tambril {

// What the statistics of a result file state.
struct RunSummary {
  int circuitSize = 0;       // the netlist header's first count
  double maxDelay = 0.0;     // seconds: the delay of the reported sizes
  double delayTarget = 0.0;  // seconds; 0: none, and the two lines below are not written
  double totalArea = 0.0;    // m^2: the total size of the gates
  double runtime = 0.0;      // seconds of processor time, reading and optimising
};

// The result file, written around the optimisation but running nothing itself: Open creates a
// temporary beside the target with the first line (the start time); Finish adds the statistics
// and one line per gate (id, type, size in m^2, in id order, primary inputs and pseudo-nodes
// left out), then renames it over the target. Until then the target keeps its old content;
// a report never finished is removed.
class ResultReport {
 public:
  // Throws CannotOpen when the temporary cannot be created, CannotWrite when it cannot be
  // written.
  void Open(const std::string& fileName, std::time_t startTime);
  // `sizeOf(id)` is the size of gate `id`. Throws CannotWrite when the file cannot be written
  // or renamed.
  void Finish(const RunSummary& summary, const std::vector<PartType>& parts,
              const std::function<double(int id)>& sizeOf);

 private:
  std::string fileName_;
  OutputFile out_;
};

}  // namespace tambril

#endif
