// libFuzzer target for the importer's three readers (.bench, BLIF, AIGER), run in process
// through the whole conversion: every input must end either in a netlist that the tools'
// netlist reader accepts (the sizer's rules: counts, drivers, fan-outs, no cycle) with a names
// file that fits it, or in a tambril::Error. The first byte of an input picks the reader
// (its value modulo 3: .bench, BLIF, AIGER); the rest is the file. See fuzz/run.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/lineError.h"
#include "common/namesFile.h"
#include "common/netlistReader.h"
#include "import/convert.h"
#include "io/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) return 0;
  using tambril::import::Format;
  const Format formats[] = {Format::kBench, Format::kBlif, Format::kAiger};
  tambril::import::ImportOptions options;
  options.format = formats[data[0] % 3];
  options.maxInputs = 2 + data[0] / 3 % 15;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  tambril::import::Conversion conversion;
  try {
    conversion = tambril::import::ConvertText(text, "fuzz", options);
  } catch (const tambril::Error&) {
    return 0;
  }
  try {
    const tambril::tools::Netlist netlist = tambril::tools::ReadNetlist(conversion.netlist);
    for (size_t k = 0; k < netlist.Nodes(); ++k) {
      if (!netlist.IsInput(k) && netlist.FaninCount(k) > static_cast<size_t>(options.maxInputs)) {
        __builtin_trap();
      }
    }
    tambril::tools::ReadNames(conversion.names, netlist.Nodes());
  } catch (const tambril::tools::LineError&) {
    __builtin_trap();
  }
  return 0;
}
