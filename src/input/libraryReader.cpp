// The gate library reader: "param.txt", one header line, then one row per gate type and
// number of inputs.
#include "input/libraryReader.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "io/error.h"
#include "io/text.h"

namespace tambril {

namespace {

// Columns 3 to 5 are the electrical constants that the optimiser divides by and sums: each must
// be a finite number, the input capacitance and the resistance above 0, the gate's own output
// capacitance at least 0. Returns false when the field is not such a number.
bool ParseConstant(std::string_view field, bool zeroAllowed, double& value) {
  if (!ParseWholeNumber(field, value) || !std::isfinite(value)) return false;
  return zeroAllowed ? value >= 0.0 : value > 0.0;
}

}  // namespace

void ReadLibrary(const std::string& fileName, std::vector<CGateType>& gateTypes,
                 Reporter& reporter) {
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
    if (name.size() > static_cast<size_t>(CGateType::kMaxNameLength)) throw CannotParse(fileName);
    reporter.Progress(std::string(name) + "\n");

    std::string_view values[6];
    for (std::string_view& value : values) {
      if (!fields.Next(value)) throw CannotParse(fileName);
    }
    CGateData row;
    if (!ParseWholeInt(values[0], row.key) || row.key < 1 ||
        !ParseConstant(values[1], false, row.unitInputCap) ||
        !ParseConstant(values[2], false, row.unitResistance) ||
        !ParseConstant(values[3], true, row.unitOutputCap)) {
      throw CannotParse(fileName);
    }
    row.value4 = ToDouble(values[4]);
    row.value5 = ToDouble(values[5]);
    // Optional: the row's own size range, when both columns are sizes (0 < min <= max); any
    // other text there is ignored, as fields after the seventh always were.
    std::string_view low, high;
    double minSize, maxSize;
    if (fields.Next(low) && fields.Next(high) && ParseConstant(low, false, minSize) &&
        ParseConstant(high, false, maxSize) && minSize <= maxSize) {
      row.minSize = minSize;
      row.maxSize = maxSize;
    }

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

  // A type has one row per input count: a second one would leave a gate's row to chance.
  for (CGateType& type : gateTypes) {
    std::sort(type.data.begin(), type.data.end());
    if (std::adjacent_find(type.data.begin(), type.data.end()) != type.data.end()) {
      throw CannotParse(fileName);
    }
  }
  std::sort(gateTypes.begin(), gateTypes.end());
}

}  // namespace tambril
