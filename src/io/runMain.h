#ifndef TAMBRIL_IO_RUNMAIN_H
#define TAMBRIL_IO_RUNMAIN_H

#include <functional>
#include <string>

namespace tambril {

// The body of an executable's main, with the one error model of the project: returns 0 when
// `body` completes; when it throws a tambril::Error, flushes standard output, writes the
// error's line to standard error and returns 1; when memory runs out (std::bad_alloc, or
// std::length_error for a size beyond any allocation), the same with the line `prefix` +
// "Memory Error: not enough memory"; any other standard exception is a fault of the program,
// reported as `prefix` + "Internal Error: " + its what(). `body` runs with
// RemoveTemporariesOnSignals in force, so that an interrupted run leaves no temporary of a result
// file behind.
int RunMain(const std::function<void()>& body, const std::string& prefix = "");
// The same for a body that decides the exit status of a run that completes.
int RunMainWithStatus(const std::function<int()>& body, const std::string& prefix = "");

}  // namespace tambril

#endif
