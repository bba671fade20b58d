// The gate library reader: "param.txt", one header line, then one row per gate type and
// number of inputs.
#include <algorithm>
#include <ctime>
#include <iostream>
#include <string>
#include <unordered_map>

#include "io/error.h"
#include "io/text.h"
#include "model/netlist.h"

using namespace tambril;

void CNetlist::BuildDB(const char* libraryFileName) {
  const std::string fileName = libraryFileName;
  std::cout << "Running TAMBRIL " << std::flush;
  startClock = std::clock();
  startTime = std::time(nullptr);

  std::string text = ReadInputFile(fileName);

  LineReader lines(text);
  std::string_view line;
  if (!lines.Next(line)) throw CannotParse(fileName);  // no header line

  std::unordered_map<std::string_view, size_t> typeIndex;
  std::vector<std::string> names;  // in the order of gateTypes, while reading
  while (lines.Next(line)) {
    Tokenizer fields(line, kLibrarySeparators);
    std::string_view name;
    if (!fields.Next(name)) throw CannotParse(fileName);
    if (name.size() > static_cast<size_t>(CGateType::kMaxNameLength) ||
        name.find('\0') != std::string_view::npos) {
      throw CannotParse(fileName);
    }
    std::cout << name << std::endl;

    std::string_view values[6];
    for (std::string_view& value : values) {
      if (!fields.Next(value)) throw CannotParse(fileName);
    }
    CGateData row;
    row.key = ToInt(values[0]);
    row.unitInputCap = ToDouble(values[1]);
    row.unitResistance = ToDouble(values[2]);
    row.unitOutputCap = ToDouble(values[3]);
    row.value4 = ToDouble(values[4]);
    row.value5 = ToDouble(values[5]);

    // The key views point into `text`, which outlives the map.
    const auto found = typeIndex.find(name);
    if (found == typeIndex.end()) {
      CGateType type;
      type.SetName(name);
      type.data.push_back(row);
      typeIndex.emplace(name, gateTypes.size());
      gateTypes.push_back(std::move(type));
    } else {
      gateTypes[found->second].data.push_back(row);
    }
  }

  // Rows with equal keys keep their file order, so that the first of them is the one a gate
  // binds to.
  for (CGateType& type : gateTypes) std::stable_sort(type.data.begin(), type.data.end());
  std::sort(gateTypes.begin(), gateTypes.end());
}
