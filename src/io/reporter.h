#ifndef TAMBRIL_IO_REPORTER_H
#define TAMBRIL_IO_REPORTER_H

#include <string_view>

namespace tambril {

// Where a run's messages go: progress on standard output (the library echo, the dots of the
// outer loop, its closing lines) and warnings, one line each, on standard error. Every stage
// writes through the reporter it is given, never to the streams itself, so that one object
// decides where a run's words end up.
class Reporter {
 public:
  virtual ~Reporter() = default;
  // Text for standard output, handed over at once (progress is watched while it grows).
  virtual void Progress(std::string_view text) = 0;
  // One warning line, without its line end.
  virtual void Warning(std::string_view line) = 0;
};

// The reporter of the executables: standard output and standard error.
Reporter& ConsoleReporter();

}  // namespace tambril

#endif
