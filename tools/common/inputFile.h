#ifndef TAMBRIL_TOOLS_COMMON_INPUTFILE_H
#define TAMBRIL_TOOLS_COMMON_INPUTFILE_H

#include <functional>
#include <string>
#include <string_view>

namespace tambril::tools {

// The size of the part of a file that may hold any byte, as its first bytes (at least 64 KiB,
// or the whole file when shorter) tell it: a binary section, for the formats that have one.
using BinaryPart = std::function<size_t(std::string_view head)>;

// The whole of a tool's input file. Throws FileError "TOOL: cannot open 'PATH': REASON" when it
// cannot be opened, "TOOL: cannot read 'PATH': REASON" when it is a directory or reading
// fails, and FormatError "TOOL: PATH:LINE: unexpected NUL byte" for a NUL byte beyond the
// binary part (no text holds one). Reading stops at the first block that holds such a byte, so
// that an endless device (/dev/zero, /dev/urandom) is read no further than that.
std::string ReadInput(const std::string& tool, const std::string& path,
                      const BinaryPart& binaryPart = {});

}  // namespace tambril::tools

#endif
