// What the tests of the sizer and of its tools share: scratch directories, files, one process
// runner, one netlist checker and one source of random circuits.
#ifndef TAMBRIL_TESTS_SUPPORT_TESTSUPPORT_H
#define TAMBRIL_TESTS_SUPPORT_TESTSUPPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/netlist.h"

namespace tambril::test {

// A fresh, empty directory under $TMPDIR (or /tmp), removed with everything in it when the
// object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `text` byte for byte, creating or truncating the file; fails the test when it cannot.
void WriteFile(const std::string& path, const std::string& text);
// The whole file; an empty string when it cannot be read.
std::string ReadFile(const std::string& path);
// A path in the source tree, from its root: RepoPath("examples/param.txt").
std::string RepoPath(const std::string& relative);
// The built executable of a program of the project: "tambril", "bench2net", "gennet", ...
std::string ProgramPath(const std::string& name);

// How a child process runs: resource limits (0 leaves a limit as it is) and variables added
// to its environment.
struct RunOptions {
  std::uint64_t memoryBytes = 0;         // address space
  std::uint64_t fileBytes = 0;           // largest file it may write
  std::vector<std::string> environment;  // "NAME=VALUE"
};

struct RunResult {
  int exitCode = -1;  // the exit status; 128 + the signal number when killed by a signal
  std::string out;    // standard output
  std::string err;    // standard error
};

// Runs `program` (a path, or a name for ProgramPath) with `args` in `workDir`, standard input
// from /dev/null, and waits for it.
RunResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                     const std::string& workDir, const RunOptions& options = {});

// One run of the sizer in process, in a scratch directory of its own: the library and the
// netlist written there, standard output and error captured. `records` are the node records as
// read, before optimising.
struct InProcessRun {
  std::unique_ptr<CNetlist> net;
  std::vector<PartType> records;
  std::string out, err, log, result;
};
// A `delayTarget` above 0 sizes for the least area under it (with the robust method).
InProcessRun RunInProcess(const std::string& library, const std::string& netlist, double inner,
                          double outer, int cap = 1000, const std::string& method = "classic",
                          double delayTarget = 0.0);

// A small reconvergent circuit: primary inputs 1 to 3 into the 3-input NAND 4, which drives the
// primary output 5 and the inverter 6, which drives the primary outputs 7 and 8; the header
// counts `outputs` primary outputs (3 is right).
std::string ReconvergentNetlist(int outputs = 3);

// A result file without its start-time and run-time lines (tools/strip-times).
std::string ResultWithoutTimes(const std::string& path);

// What a netlist holds, as an independent reader sees it.
struct NetlistSummary {
  std::uint32_t nodes = 0;
  std::uint32_t inputs = 0;   // "pri" lines
  std::uint32_t gates = 0;    // gate and "po" lines
  std::uint32_t outputs = 0;  // "po" lines
  std::uint32_t maxFanin = 0;
  std::uint32_t depth = 0;           // gates on the longest path from an input
  std::uint32_t unusedInputs = 0;    // primary inputs that drive nothing
  std::uint32_t drivingOutputs = 0;  // primary outputs that also drive gate pins
  std::uint32_t idleGates = 0;       // gates that drive nothing and are not outputs
  std::uint32_t maxFanout = 0;
};

// Checks a netlist as the project's tools write it (single blanks, canonical header: gate
// count, 0, 0, output count, node count) against everything the sizer relies on: line forms,
// library types with their input counts (INV and BUF one input, AND, NAND, OR, NOR, XOR and
// XNOR 1 to 16), driver ids in range, fan-out counts equal to the connections, no cycle.
// Returns the problems found (empty when sound) and fills `summary`.
std::vector<std::string> CheckNetlist(const std::string& text, NetlistSummary* summary = nullptr);

// A random netlist in the project's format, from the generator that the benchmarks use.
std::string RandomNetlist(std::uint32_t gates, std::uint64_t seed, std::uint32_t maxFanin = 4);

}  // namespace tambril::test

#endif
