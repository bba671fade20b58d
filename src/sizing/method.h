#ifndef TAMBRIL_SIZING_METHOD_H
#define TAMBRIL_SIZING_METHOD_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sizing/parameters.h"

namespace tambril::sizing {

class Optimizer;

// What the outer loop does after a method has judged a pass.
enum class Next {
  kContinue,  // re-weight the multipliers and make another pass
  kClose,     // make one closing pass (re-weight, size, time, log), then stop
  kStop,      // stop now
};

// A sizing method: how the outer loop re-weights the multipliers between passes, and when it
// stops. The loop itself is the same for every method (Optimizer::Run):
//
//   even starting flow; Start; every gate at its minimum size; value; time; Judge(0)
//   while Judge said kContinue: Update(n); size; time; Judge(n + 1)
//   after kClose: Update(n); size; time; log the pass
//
// A method reads and writes the optimiser's multipliers, reads its timing, and in Judge logs
// passes and keeps the counters of Statistics. It may keep state of its own between calls.
class Method {
 public:
  virtual ~Method() = default;

  // After the even starting split of the flow, before any sizing.
  virtual void Start(Optimizer& optimizer) { (void)optimizer; }
  // Re-weights the multipliers from the timing of pass `pass` (0: the starting sizes).
  virtual void Update(Optimizer& optimizer, int pass) = 0;
  // Judges pass `pass`, just sized and timed: logs it and decides how the loop goes on.
  virtual Next Judge(Optimizer& optimizer, int pass) = 0;
  // True when the result is the last logged pass; otherwise it is the fastest sizing seen.
  virtual bool ReportsLastPass(const Statistics& stats) const = 0;
  // The count printed after "Total number of iteration: ".
  virtual int PrintedPasses(const Statistics& stats) const = 0;
  // Ends the warning of a run that stopped at its pass cap.
  virtual std::string CapHint() const { return ""; }
};

// One row of the method table: the name that --method takes and how to make the method.
struct MethodEntry {
  const char* name;
  std::unique_ptr<Method> (*make)(const Parameters& parameters);
};

// The methods, the default first. The command line, its usage text and the optimiser all read
// this one table.
const std::vector<MethodEntry>& Methods();
// The entry named `name`, or nullptr.
const MethodEntry* FindMethod(std::string_view name);
// The names of the table, separated by ", ".
std::string MethodNames();

}  // namespace tambril::sizing

#endif
