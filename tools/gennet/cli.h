// Command line of gennet.
#pragma once

#include <string>

#include "generator.h"

namespace gennet {

struct Command {
  Options options;
  std::string outputPath;  // empty: standard output
  bool help = false;
};

extern const char* const kUsage;

// Reads argv[1..argc). Returns false with a one-line message when the command line is wrong.
bool parseArgs(int argc, const char* const* argv, Command& command, std::string& error);

}  // namespace gennet
