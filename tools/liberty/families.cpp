#include "families.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace tambril::liberty {

const Family* Families::Of(const std::string& cellName) const {
  const auto it = familyOfCell.find(cellName);
  return it == familyOfCell.end() ? nullptr : &families[it->second];
}

double ModelDelay(const Family& family, double size, double load) {
  return family.unitResistance / size * (family.unitOutputCap * size + load);
}

double MeanInputCap(const Cell& cell) {
  double sum = 0;
  for (int i : cell.inputs) sum += cell.pins[i].capacitance;
  return sum / static_cast<double>(cell.inputs.size());
}

namespace {

// The delay at `slew` and `load`: the mean of the rising and the falling output.
// (the worst of the arc's timing groups).
double MeanDelay(const Arc& arc, double slew, double load) {
  double worst = 0;
  for (const ArcTables& t : arc.variants) {
    worst = std::max(worst, 0.5 * (t.cellRise.Lookup(slew, load) + t.cellFall.Lookup(slew, load)));
  }
  return worst;
}

// The load points of an arc's delay tables (those of the rising table).
const std::vector<double>& LoadPoints(const Arc& arc) { return arc.variants[0].cellRise.load; }

}  // namespace

void CellDrive(const Cell& cell, double slew, double& resistance, double& intrinsic) {
  // Per arc, a straight line through the delays at the tables' load points, fitted for the
  // relative error (weights 1 / delay^2); the cell's figures are the means over the arcs.
  double slopeSum = 0, interceptSum = 0;
  for (const Arc& arc : cell.arcs) {
    const std::vector<double>& loads = LoadPoints(arc);
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (double c : loads) {
      const double d = MeanDelay(arc, slew, c);
      const double w = 1.0 / (d * d);
      sw += w;
      sx += w * c;
      sy += w * d;
      sxx += w * c * c;
      sxy += w * c * d;
    }
    const double det = sw * sxx - sx * sx;
    double slope = 0, intercept = sy / sw;
    if (loads.size() >= 2 && det > 0) {
      slope = (sw * sxy - sx * sy) / det;
      intercept = (sy - slope * sx) / sw;
    }
    slopeSum += slope;
    interceptSum += intercept;
  }
  resistance = slopeSum / static_cast<double>(cell.arcs.size());
  intrinsic = interceptSum / static_cast<double>(cell.arcs.size());
}

namespace {

// The truth table of `cell` with its inputs taken in `order` (indices into cell.inputs).
TruthTable Permuted(const Cell& cell, const std::vector<int>& order) {
  const int n = static_cast<int>(order.size());
  TruthTable table = EmptyTable(n);
  for (uint32_t row = 0; row < (uint32_t{1} << n); ++row) {
    uint32_t source = 0;
    for (int k = 0; k < n; ++k) source |= ((row >> k) & 1u) << order[k];
    if (Evaluate(cell.function, source)) table[row >> 6] |= uint64_t{1} << (row & 63);
  }
  return table;
}

// The name of a standard function of n inputs, or empty.
std::string StandardName(const TruthTable& table, int n) {
  const uint32_t rows = uint32_t{1} << n;
  bool isAnd = true, isOr = true, isXor = true;
  for (uint32_t r = 0; r < rows; ++r) {
    const bool v = Evaluate(table, r);
    const bool all = r == rows - 1, any = r != 0;
    const bool parity = __builtin_popcount(r) & 1;
    isAnd = isAnd && v == all;
    isOr = isOr && v == any;
    isXor = isXor && v == parity;
  }
  bool isNand = true, isNor = true, isXnor = true;
  for (uint32_t r = 0; r < rows; ++r) {
    const bool v = Evaluate(table, r);
    isNand = isNand && v != (r == rows - 1);
    isNor = isNor && v != (r != 0);
    isXnor = isXnor && v != static_cast<bool>(__builtin_popcount(r) & 1);
  }
  if (n == 1) return isAnd ? "BUF" : isNand ? "INV" : "";
  if (isAnd) return "AND";
  if (isNand) return "NAND";
  if (isOr) return "OR";
  if (isNor) return "NOR";
  if (isXor) return "XOR";
  if (isXnor) return "XNOR";
  return "";
}

// A family name from a cell name: the library's common prefix and suffix taken off, then a
// drive strength at the end (x1, xp33, x1p5, X2, _4, x12f), then the digits before it.
std::string Stem(const std::string& name, size_t prefix, size_t suffix) {
  std::string s = name.substr(prefix, name.size() - prefix - suffix);
  size_t end = s.size();
  if (end > 0 && std::islower(static_cast<unsigned char>(s[end - 1])) && s[end - 1] != 'p' &&
      s[end - 1] != 'x') {
    --end;  // a variant letter after the strength (x12f)
  }
  size_t digits = end;
  while (digits > 0 &&
         (std::isdigit(static_cast<unsigned char>(s[digits - 1])) || s[digits - 1] == 'p')) {
    --digits;
  }
  if (digits < end && digits > 0 &&
      (s[digits - 1] == 'x' || s[digits - 1] == 'X' || s[digits - 1] == '_')) {
    end = digits - 1;
    if (end > 0 && s[end - 1] == '_') --end;
  }
  s.resize(end);
  while (!s.empty() && (std::isdigit(static_cast<unsigned char>(s.back())) || s.back() == '_')) {
    s.pop_back();
  }
  std::string clean;
  for (char c : s) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') clean += c;
  }
  return clean.empty() ? std::string("CELL") : clean;
}

double GeometricMean(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += std::log(v);
  return std::exp(sum / static_cast<double>(values.size()));
}

// The output transition of `cell` at `slew` and `load`: the mean over arcs, rise and fall.
double MeanTransition(const Cell& cell, double slew, double load) {
  double sum = 0;
  for (const Arc& arc : cell.arcs) {
    const ArcTables& t = arc.variants[0];
    sum += t.riseTransition.Lookup(slew, load) + t.fallTransition.Lookup(slew, load);
  }
  return sum / (2.0 * static_cast<double>(cell.arcs.size()));
}

}  // namespace

Families BuildFamilies(const CellLibrary& library) {
  Families result;
  // The common prefix and suffix of the usable cells' names, cut back to a '_'.
  std::vector<const Cell*> usable;
  for (size_t i = 0; i < library.cells.size(); ++i) {
    if (library.cells[i].skip.empty()) {
      usable.push_back(&library.cells[i]);
    } else {
      result.skipped.push_back(static_cast<int>(i));
    }
  }
  size_t prefix = 0, suffix = 0;
  if (usable.size() >= 2) {
    prefix = usable[0]->name.size();
    suffix = prefix;
    for (const Cell* c : usable) {
      const std::string& a = usable[0]->name;
      const std::string& b = c->name;
      size_t p = 0;
      while (p < prefix && p < b.size() && a[p] == b[p]) ++p;
      prefix = p;
      size_t s = 0;
      while (s < suffix && s < b.size() && a[a.size() - 1 - s] == b[b.size() - 1 - s]) ++s;
      suffix = s;
    }
    const std::string& a = usable[0]->name;
    while (prefix > 0 && a[prefix - 1] != '_') --prefix;
    while (suffix > 0 && a[a.size() - suffix] != '_') --suffix;
    size_t shortest = a.size();
    for (const Cell* c : usable) shortest = std::min(shortest, c->name.size());
    if (prefix + suffix >= shortest) prefix = suffix = 0;
  }

  // Group: output name, input names sorted, function over the sorted inputs.
  std::map<std::string, int> byKey;
  for (size_t i = 0; i < library.cells.size(); ++i) {
    const Cell& cell = library.cells[i];
    if (!cell.skip.empty()) continue;
    std::vector<int> order(cell.inputs.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      return cell.pins[cell.inputs[a]].name < cell.pins[cell.inputs[b]].name;
    });
    std::string key = cell.pins[cell.output].name + "|";
    for (int k : order) key += cell.pins[cell.inputs[k]].name + ",";
    key += "|";
    char hex[20];
    for (uint64_t w : Permuted(cell, order)) {
      std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(w));
      key += hex;
    }
    const auto [it, fresh] = byKey.emplace(key, static_cast<int>(result.families.size()));
    if (fresh) {
      Family family;
      for (int p : cell.inputs) family.inputs.push_back(cell.pins[p].name);
      family.output = cell.pins[cell.output].name;
      result.families.push_back(std::move(family));
    }
    result.families[it->second].cells.push_back(static_cast<int>(i));
  }

  // Names: the standard ones by function, others from the first cell's name; one row per
  // name and input count.
  std::map<std::pair<std::string, int>, int> taken;
  for (Family& family : result.families) {
    const Cell& first = library.cells[family.cells[0]];
    std::string name = StandardName(first.function, family.Inputs());
    if (name.empty()) name = Stem(first.name, prefix, suffix);
    if (name.size() > 9) name.resize(9);
    if (name == "pri" || name == "po" || name == "Input" || name == "Output") name += "_";
    std::string unique = name;
    for (int k = 2; taken.count({unique, family.Inputs()}) != 0; ++k) {
      const std::string tail = "_" + std::to_string(k);
      unique = name.substr(0, std::min(name.size(), 9 - tail.size())) + tail;
    }
    taken[{unique, family.Inputs()}] = 1;
    family.type = unique;
    for (int c : family.cells)
      result.familyOfCell[library.cells[c].name] =
          static_cast<int>(&family - result.families.data());
  }

  // The reference: an inverter family if there is one.
  for (size_t f = 0; f < result.families.size(); ++f) {
    if (result.families[f].type == "INV") result.reference = static_cast<int>(f);
  }
  if (result.reference < 0 && !result.families.empty()) result.reference = 0;

  // Sort each family's cells by area, then by drive (stronger last).
  for (Family& family : result.families) {
    std::stable_sort(family.cells.begin(), family.cells.end(),
                     [&](int a, int b) { return library.cells[a].area < library.cells[b].area; });
    family.minArea = library.cells[family.cells.front()].area;
    family.maxArea = library.cells[family.cells.back()].area;
  }

  // The typical slew: the output transition of the reference family's smallest cell driving
  // four of its own inputs, found by iterating from the middle of its slew axis.
  if (result.reference >= 0) {
    const Cell& cell = library.cells[result.families[result.reference].cells.front()];
    const std::vector<double>& axis = cell.arcs[0].variants[0].cellRise.slew;
    double slew = axis[axis.size() / 2];
    const double load = 4.0 * MeanInputCap(cell);
    for (int k = 0; k < 50; ++k) slew = MeanTransition(cell, slew, load);
    result.typicalSlew = slew;
  }

  // The fit.
  for (Family& family : result.families) {
    std::vector<double> cin, drive, intrinsic;
    for (int c : family.cells) {
      const Cell& cell = library.cells[c];
      double r, d0;
      CellDrive(cell, result.typicalSlew, r, d0);
      cin.push_back(MeanInputCap(cell) / cell.area);
      drive.push_back(std::max(r, 1e-3) * cell.area);
      intrinsic.push_back(std::max(d0, 1e-15));
    }
    family.unitInputCap = GeometricMean(cin);
    family.unitResistance = GeometricMean(drive);
    family.unitOutputCap = GeometricMean(intrinsic) / family.unitResistance;
    double delayError = 0, capError = 0;
    for (int c : family.cells) {
      const Cell& cell = library.cells[c];
      for (int i : cell.inputs) {
        const double model = family.unitInputCap * cell.area;
        capError = std::max(capError,
                            std::fabs(model - cell.pins[i].capacitance) / cell.pins[i].capacitance);
      }
      for (const Arc& arc : cell.arcs) {
        for (double load : LoadPoints(arc)) {
          const double table = MeanDelay(arc, result.typicalSlew, load);
          const double model = ModelDelay(family, cell.area, load);
          delayError = std::max(delayError, std::fabs(model - table) / table);
        }
      }
    }
    family.delayError = delayError;
    family.capError = capError;
  }
  return result;
}

std::string LibraryText(const Families& families) {
  std::string text =
      "Name\tInputs\tCin(F/m2)\tR(Ohm*m2)\tCout(F/m2)\tg\tp\tminSize(m2)\tmaxSize(m2)\n";
  double tau = 1;
  if (families.reference >= 0) {
    const Family& ref = families.families[families.reference];
    tau = ref.unitResistance * ref.unitInputCap;
  }
  char line[512];
  for (const Family& f : families.families) {
    std::snprintf(line, sizeof line, "%s\t%d\t%.6g\t%.6g\t%.6g\t%.4g\t%.4g\t%.6g\t%.6g\n",
                  f.type.c_str(), f.Inputs(), f.unitInputCap, f.unitResistance, f.unitOutputCap,
                  f.unitResistance * f.unitInputCap / tau, f.unitResistance * f.unitOutputCap / tau,
                  f.minArea, f.maxArea);
    text += line;
  }
  return text;
}

std::string ReportText(const Families& families, const CellLibrary& library) {
  std::string text;
  char line[512];
  std::snprintf(line, sizeof line,
                "%zu families from %zu cells; drive read at a typical slew of %.4g ps\n",
                families.families.size(), library.cells.size() - families.skipped.size(),
                families.typicalSlew * 1e12);
  text += line;
  text += "type       inputs  Cin(F/m2)    R(Ohm*m2)    Cout(F/m2)   delay err  cap err  cells\n";
  for (const Family& f : families.families) {
    std::snprintf(line, sizeof line, "%-10s %6d  %-12.6g %-12.6g %-12.6g %8.1f%% %7.1f%%  ",
                  f.type.c_str(), f.Inputs(), f.unitInputCap, f.unitResistance, f.unitOutputCap,
                  100 * f.delayError, 100 * f.capError);
    text += line;
    for (size_t k = 0; k < f.cells.size(); ++k) {
      if (k > 0) text += ' ';
      text += library.cells[f.cells[k]].name;
    }
    text += '\n';
  }
  for (int c : families.skipped) {
    const Cell& cell = library.cells[c];
    text += "skipped " + cell.name + ": " + cell.skip + "\n";
  }
  return text;
}

}  // namespace tambril::liberty
