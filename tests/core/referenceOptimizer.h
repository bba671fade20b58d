// A second, deliberately plain implementation of the optimiser, used by the tests as an oracle.
//
// It works directly on the node records (node id k is parts[k - 1]), walks its own topological
// order, copies the whole record vector for every inner-loop trial and performs every
// floating-point operation in the order the optimiser defines, so that the program and the
// oracle must agree bit for bit. It uses nothing of src/sizing or src/timing.
#ifndef TAMBRIL_TESTS_CORE_REFERENCEOPTIMIZER_H
#define TAMBRIL_TESTS_CORE_REFERENCEOPTIMIZER_H

#include <string>
#include <vector>

#include "model/part.h"

namespace tambril::test {

// What a whole outer loop produced.
struct LdpRun {
  int iterations = 0;                // the count printed at the end
  std::vector<double> lower, upper;  // the bounds of every logged pass
  int reportedPass = 0;              // 1-based: the pass whose sizes the result holds
  bool converged = false;
  std::string Log() const;  // convergence.txt as the program writes it
};

class ReferenceOptimizer {
 public:
  // `nodes` are complete records ("Input" and "Output" included, fanOuts filled in), as the
  // program's reader leaves them.
  ReferenceOptimizer(std::vector<PartType> nodes, int outputCount, double innerImprove,
                     double outerImprove, int maxOuterPasses);

  LdpRun SolveLDP();
  // Times the circuit with every gate at the size of `sizeById` (by id - 1); returns the
  // arrival at "Output", the circuit delay.
  double TimeWithSizes(const std::vector<double>& sizeById);

  std::vector<PartType> parts;
  double lowerBound = 0.0;
  double maxDelay = 0.0;

 private:
  const CGate& Node(int id) const { return parts[id - 1].gate; }
  void ComputeArrivalTime();
  void IntializeLM();
  void UpdateLM();
  double ComputeLu(std::vector<PartType>& values) const;
  void LoadSweep(std::vector<PartType>& values) const;
  void ResizeSweep(std::vector<PartType>& values) const;
  void SolveLRSuHelper();
  void SolveLRSu();

  int outputCount_;
  double innerImprove_;
  double outerImprove_;
  int maxOuterPasses_;
  std::vector<int> forwardOrder_;  // drivers before receivers
};

}  // namespace tambril::test

#endif
