// bench2net CIRCUIT.bench > CIRCUIT.net: converts an ISCAS `.bench` circuit to TAMBRIL's
// netlist format with tambril-import's conversion (tools/import/convert.h), writing the
// netlist to standard output and no names file.
#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "convert.h"
#include "io/error.h"

int main(int argc, char** argv) {
  static const char kUsage[] = "usage: bench2net CIRCUIT.bench > CIRCUIT.net";
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::cout << kUsage << '\n';
    return std::cout.flush() ? 0 : 1;
  }
  if (argc != 2) {
    std::cerr << "bench2net: " << kUsage << '\n';
    return 1;
  }
  try {
    tambril::import::ImportOptions options;
    options.tool = "bench2net";
    options.format = tambril::import::Format::kBench;
    const tambril::import::Conversion conversion = tambril::import::Convert(argv[1], options);
    std::cout.write(conversion.netlist.data(),
                    static_cast<std::streamsize>(conversion.netlist.size()));
    if (!std::cout.flush()) {
      std::cerr << "bench2net: error writing the netlist to standard output\n";
      return 1;
    }
    std::cerr << tambril::import::Warnings(conversion, options) << std::flush;
    return 0;
  } catch (const tambril::Error& error) {
    std::cerr << error.what() << std::endl;
  } catch (const std::bad_alloc&) {
    std::cerr << "Memory Error: not enough memory" << std::endl;
  }
  return 1;
}
