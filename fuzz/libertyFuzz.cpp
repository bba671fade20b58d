// libFuzzer target for the readers of the Liberty flow, run in process: the Liberty parser with
// the cells read from what it parsed, and the reader of gate-level Verilog. Every input must
// end in a result or in a tambril::Error; a crash, a hang, a leak or another exception is a
// finding. The first byte of an input picks the reader (even: Liberty, odd: Verilog); the rest
// is the file. See fuzz/run.
#include <cstdint>
#include <string>
#include <vector>

#include "io/error.h"
#include "liberty/cellLibrary.h"
#include "liberty/libertyParser.h"
#include "liberty/verilogNetlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    if (data[0] % 2 == 0) {
      std::vector<tambril::liberty::Document> documents;
      documents.push_back(tambril::liberty::Parse(std::move(text), "fuzz.lib", "fuzz"));
      tambril::liberty::ReadCells(documents, "fuzz");
    } else {
      const tambril::liberty::VerilogNetlist netlist =
          tambril::liberty::ReadVerilog(std::move(text), "fuzz.v", "fuzz");
      tambril::liberty::WithCells(netlist, std::vector<std::string>(netlist.instances.size()));
    }
  } catch (const tambril::Error&) {
  }
  return 0;
}
