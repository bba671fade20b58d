#ifndef TAMBRIL_RUN_COMMANDLINE_H
#define TAMBRIL_RUN_COMMANDLINE_H

#include <string>
#include <vector>

class CNetlist;

namespace tambril {

// The command line of a sizing run:
//   tambril [--method NAME] [--threads N] [--delay-target T] NETLIST RESULT [INNER] [OUTER]
// Options may stand anywhere, as "--name value" or "--name=value"; "--" ends them. The
// positional arguments follow the historical rule: INNER alone, or INNER and OUTER, replace
// the thresholds; with five or more positional arguments both keep their defaults.
struct CommandLine {
  std::string netlist;
  std::string result;
  bool hasInner = false;
  bool hasOuter = false;
  double inner = 0.0;
  double outer = 0.0;
  // A name of the method table; empty: the table's first (with a delay target, its first that
  // sizes for one).
  std::string method;
  double delayTarget = 0.0;           // seconds, above 0; 0: none (minimum delay)
  int threads = 0;                    // 0: every core the process may use
  std::vector<std::string> warnings;  // lines for standard error, in order
};

// The most threads that --threads accepts.
inline constexpr int kMaxThreads = 256;

// The usage lines written when the netlist or the result is missing.
extern const std::string kUsageLines;

// Reads argv[1..argc); a threshold that is not wholly a finite number is still read as atof
// reads it, with one warning line in `warnings`. Throws UsageError: with kUsageLines when fewer
// than two positional arguments are given, with one line naming the problem for a wrong option.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// Puts the thresholds and the method of `command` into the run's netlist object.
void Configure(const CommandLine& command, CNetlist& netlist);

// The thread count that `command` asks for: --threads, or every core the process may use.
int ThreadsFor(const CommandLine& command);

}  // namespace tambril

#endif
