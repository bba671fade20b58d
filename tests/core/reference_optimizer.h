// A second, deliberately plain implementation of the optimiser, used by the tests as an oracle.
//
// It works directly on the node records (node id k is parts[k - 1]), walks its own topological
// order, copies the whole record vector for every inner-loop trial and performs every
// floating-point operation in the order the optimiser defines, so that the program and the
// oracle must agree bit for bit. It uses nothing of src/sizing or src/timing. The file also
// holds the random circuit generator and small helpers the optimiser tests share.
#ifndef TAMBRIL_TESTS_CORE_REFERENCE_OPTIMIZER_H
#define TAMBRIL_TESTS_CORE_REFERENCE_OPTIMIZER_H

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/netlist.h"
#include "model/part.h"

namespace tambril_reference {

// What a whole outer loop produced: the count the program prints and the log lines.
struct LdpRun {
  struct BoundLine {
    double lower, upper;
  };
  int iterations = 0;
  std::vector<BoundLine> log;
};

class ReferenceOptimizer {
 public:
  // `nodes` are complete records ("Input" and "Output" included, fanOuts filled in), as the
  // program's reader leaves them.
  ReferenceOptimizer(std::vector<PartType> nodes, int outputCount, double innerImprove,
                     double outerImprove);

  void ComputeArrivalTime();
  void IntializeLM();
  void UpdateLM();
  // Writes the delays of `values` and returns their Lagrangian value.
  double ComputeLu(std::vector<PartType>& values) const;
  void SolveLRSuHelper();
  void SolveLRSu();
  LdpRun SolveLDP();
  // Times the circuit with every gate's size from `sizeById`; returns the arrival at "Output".
  double TimeWithSizes(const std::vector<double>& sizeById);

  std::vector<PartType> parts;
  int outputCount;
  double innerImprove;
  double outerImprove;
  double lowerBound = 0.0;
  double maxDelay = 0.0;

 private:
  const CGate& Node(int id) const { return parts[id - 1].gate; }
  void LoadSweep(std::vector<PartType>& values) const;
  void ResizeSweep(std::vector<PartType>& values) const;

  std::vector<int> forwardOrder_;  // drivers before receivers
};

// The relative gap between two bounds, as both loops measure it.
double RelativeGap(double lower, double upper);

struct RandomCircuitOptions {
  int maxGates = 20;
  // Header outputCount: the real count, or now and then 0 or another number.
  bool exactOutputCount = false;
  // Library values over many orders of magnitude (output capacitance sometimes 0), so that
  // sizes reach both clamps.
  bool wideLibrary = false;
};

struct RandomCircuit {
  std::string library;  // text of a param.txt
  std::string netlist;  // text of a netlist file
  int gateCount = 0;
};

// A random valid circuit: a DAG with shuffled ids, several primary inputs (sometimes one that
// drives nothing), primary outputs that may also drive gates, one driver on several pins,
// gates that drive nothing, 1 to 5 fan-ins, and a library of several types in random row order.
RandomCircuit MakeRandomCircuit(std::mt19937_64& rng, const RandomCircuitOptions& options);

// Two primary outputs fed by three primary inputs over several pins each. With both thresholds
// 0 its bounds keep a gap, so the outer loop ends by its cap of 1000 passes.
inline constexpr char kCapLibrary[] =
    "type\tinputs\tunitInputCap\tunitResistance\tunitOutputCap\tg\tp\n"
    "NAND\t4\t0.02004537236426028\t3.22142804611921e-10\t0.10388426870612355\t1\t1\n"
    "NAND\t5\t0.0083895045385904629\t3.6786326579109132e-10\t0.12333771966121815\t1\t1\n";
inline constexpr char kCapCircuit[] =
    "2 9 2 2 5\n"
    "pri 3 0\n"
    "po NAND 1 4 4 0 1.5 5 3 0 5 1 1.5 1 2 0\n"
    "po NAND 0 5 1 2 1.5 1 0 1.5 4 3 0 2 1 0 4 3 1.5\n"
    "pri 3 0\n"
    "pri 2 0\n";

std::string FormatG(double value);  // "%g", as the program's files print
std::string Exact(double value);    // "%.17g"
std::vector<std::string> Lines(const std::string& text);
// The convergence log the program must write for `run`.
std::string ExpectedLog(const LdpRun& run);

// Reads a library and a netlist through the program's own readers, console output swallowed.
// The readers end the process on bad input: give them valid files.
std::unique_ptr<CNetlist> LoadCircuit(const std::string& libraryPath,
                                      const std::string& netlistPath, double innerImprove = 5e-6,
                                      double outerImprove = 0.01);

// The oracle for `netlist`, starting from its records and thresholds.
ReferenceOptimizer ReferenceFor(const CNetlist& netlist);

// Runs `body` with `path` as the working directory (the outer loop writes its log there).
void InDirectory(const std::string& path, const std::function<void()>& body);

}  // namespace tambril_reference

#endif
