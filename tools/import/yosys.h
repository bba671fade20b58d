#ifndef TAMBRIL_TOOLS_IMPORT_YOSYS_H
#define TAMBRIL_TOOLS_IMPORT_YOSYS_H

#include <string>

namespace tambril::import {

// Synthesises Verilog with Yosys (or the executable that TAMBRIL_YOSYS names) into BLIF of
// library gates and returns that text. `text` is the design as read from `path`; Yosys reads a
// copy of it in a scratch directory, under a name that it cannot expand, with `include`s looked
// up beside `path` too. Yosys runs in its own process group with that directory as its home and
// temporary directory (no history file elsewhere). Until it is done, the termination signals
// are held: one that comes kills the group, removes the directory and then ends the run as it
// would have; and Yosys dies with this process. Throws FileError (Yosys missing, no scratch
// directory) or FormatError (Yosys refused the design), with `tool` first on the line.
std::string SynthesiseVerilog(const std::string& tool, const std::string& path,
                              const std::string& text);

}  // namespace tambril::import

#endif
