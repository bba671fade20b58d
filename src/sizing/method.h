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
  // Which pass the result is when it is not the last one, for that warning.
  virtual std::string BestPass() const { return "the one with the smallest delay"; }
  // Called once the result has been made the current state: may adjust it (timed again), and
  // returns a warning line of the method's own about it, written instead of the cap's (empty:
  // none).
  virtual std::string Conclude(Optimizer& optimizer) {
    (void)optimizer;
    return "";
  }
};

// One row of the method table: the name that --method takes, how to make the method, and how
// to make it minimise the area under a delay target (parameters.delayTarget above 0); nullptr
// when the method cannot.
struct MethodEntry {
  const char* name;
  std::unique_ptr<Method> (*make)(const Parameters& parameters);
  std::unique_ptr<Method> (*makeForArea)(const Parameters& parameters);
};

// The methods, the default first. The command line, its usage text and the optimiser all read
// this one table.
const std::vector<MethodEntry>& Methods();
// The entry named `name`, or nullptr.
const MethodEntry* FindMethod(std::string_view name);
// The names of the table, separated by ", "; with `forArea`, those that size for a delay
// target.
std::string MethodNames(bool forArea = false);

}  // namespace tambril::sizing

#endif
