#ifndef TAMBRIL_TOOLS_COMMON_LINEERROR_H
#define TAMBRIL_TOOLS_COMMON_LINEERROR_H

#include <string>

namespace tambril::tools {

// A fault of an input file, tied to a line of it (0: to none). The tool that reads the file
// turns it into its one error line, "TOOL: FILE:LINE: message".
struct LineError {
  int line;
  std::string message;
};

}  // namespace tambril::tools

#endif
