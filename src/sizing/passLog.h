#ifndef TAMBRIL_SIZING_PASSLOG_H
#define TAMBRIL_SIZING_PASSLOG_H

#include <string>
#include <vector>

#include "io/outputFile.h"

namespace tambril::sizing {

// The log of the outer loop ("convergence.txt"): two header lines, then the lower and the upper
// bound of every logged pass, tab-separated, in "%g" form, each line handed to the system as it
// is written so that the log can be watched while it grows. Only the log is lost when it cannot
// be written; the run goes on.
class PassLog {
 public:
  // Throws CannotWrite when `path` is a symbolic link, not a regular file, or one of `apart`
  // (the run's inputs), which then stays as it was.
  void Open(const std::string& path, const std::vector<std::string>& apart);
  void Line(double lower, double upper);
  void Close();

 private:
  OutputFile file_;
};

}  // namespace tambril::sizing

#endif
