#ifndef TAMBRIL_TOOLS_COMMON_LINEERROR_H
#define TAMBRIL_TOOLS_COMMON_LINEERROR_H

#include <string>
#include <string_view>

namespace tambril::tools {

// A fault of an input file, tied to a line of it (0: to none). The tool that reads the file
// turns it into its one error line, "TOOL: FILE:LINE: message".
struct LineError {
  int line;
  std::string message;
};

// `text` for an error line: control characters as \xHH, so that the line stays one line.
inline std::string Printable(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace tambril::tools

#endif
