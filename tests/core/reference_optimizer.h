// A second, deliberately plain implementation of the optimiser, used by the tests as an oracle.
//
// It works directly on the node records (node id k is nodes[k - 1]), walks its own topological
// order, copies the whole record vector for every inner-loop trial and performs every
// floating-point operation in the order the optimiser defines, so that the program and the
// oracle must agree bit for bit. The oracle uses nothing of src/sizing or src/timing: only the
// record types come from the program (and the plumbing at the end uses its readers).
//
// The file also holds the circuit generators the optimiser tests share: random valid netlists
// and libraries as text.
#ifndef TAMBRIL_TESTS_CORE_REFERENCE_OPTIMIZER_H
#define TAMBRIL_TESTS_CORE_REFERENCE_OPTIMIZER_H

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/netlist.h"
#include "model/part.h"

namespace tambril_reference {

// Largest element, 0.0 for an empty vector.
double Maximum(const std::vector<double>& values);

// One "lower bound / upper bound" line of the convergence log.
struct BoundLine {
  double lower = 0.0;
  double upper = 0.0;
};

// What a whole outer loop produced.
struct LdpRun {
  int iterations = 0;  // the count the program prints
  int dots = 0;        // progress dots printed
  std::vector<BoundLine> log;
};

class ReferenceOptimizer {
 public:
  static constexpr int kMaxTrialSweeps = 1000;
  static constexpr int kMaxOuterPasses = 1000;

  // `nodes` are complete records (the "Input" and "Output" pseudo-nodes included, fanOuts
  // filled in), as the program's reader leaves them.
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

  // The single steps, on any record vector of this circuit.
  void LoadStep(std::vector<PartType>& values, int id) const;
  void LoadSweep(std::vector<PartType>& values) const;
  void ResizeStep(std::vector<PartType>& values, int id) const;
  void ResizeSweep(std::vector<PartType>& values) const;

  // Timing analysis of the circuit with the given gate sizes (by id, for every gate; other
  // nodes ignore their entry): loads, delays and arrivals are rewritten; returns the latest
  // arrival at "Output".
  double TimeWithSizes(const std::vector<double>& sizeById);

  const CGate& Node(int id) const { return parts[id - 1].gate; }
  CGate& Node(int id) { return parts[id - 1].gate; }

  std::vector<PartType> parts;
  std::vector<int> forwardOrder;  // drivers before receivers
  std::vector<int> reverseOrder;
  int outputCount;
  double innerImprove;
  double outerImprove;
  double lowerBound = 0.0;
  double maxDelay = 0.0;
};

// The relative gap between two bounds, as both loops measure it.
double RelativeGap(double lower, double upper);

// ---- Circuit generators ----------------------------------------------------------------------

struct RandomCircuitOptions {
  int minGates = 3;
  int maxGates = 20;
  // Header outputCount: the real count, or now and then 0 or another number.
  bool exactOutputCount = false;
  // Library values spread over many orders of magnitude (output capacitance sometimes 0), so
  // that sizes reach both clamps.
  bool wideLibrary = false;
};

struct RandomCircuit {
  std::string library;         // text of a param.txt
  std::string netlist;         // text of a netlist file
  int gateCount = 0;           // also the header's circuit size
  int primaryOutputCount = 0;  // gates marked "po"
  int headerOutputCount = 0;   // the header's output count
};

// A random valid circuit: a DAG with shuffled ids, several primary inputs (sometimes one that
// drives nothing), primary outputs that may also drive gates, drivers on several pins of one
// receiver, gates that drive nothing, 1 to 5 fan-ins, and a random library of several types,
// two of them with several keys, rows in random order.
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

// "%g", as printed by the program's files.
std::string FormatG(double value);

// ---- Plumbing ----------------------------------------------------------------------------------

// Reads a library and a netlist into a fresh CNetlist through the program's own readers (their
// console output is swallowed). Readers end the process on bad input: give them valid files.
std::unique_ptr<CNetlist> LoadCircuit(const std::string& libraryPath,
                                      const std::string& netlistPath, double innerImprove = 5e-6,
                                      double outerImprove = 0.01);

// The oracle for the circuit `netlist` holds, starting from its records and thresholds.
ReferenceOptimizer ReferenceFor(const CNetlist& netlist);

// Changes the working directory for the lifetime of the object (the outer loop writes its log
// into the working directory).
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::string previous_;
};

}  // namespace tambril_reference

#endif
