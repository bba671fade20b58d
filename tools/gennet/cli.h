// Command line of gennet.
#pragma once

#include <string>

#include "generator.h"

namespace tambril::gennet {

struct Command {
  Options options;
  std::string outputPath;  // empty: standard output
  bool help = false;
};

extern const char* const kUsage;

// Reads argv[1..argc). Throws UsageError ("gennet: ...") when the command line is wrong.
Command ParseArgs(int argc, const char* const* argv);

}  // namespace tambril::gennet
