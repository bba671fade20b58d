#ifndef TAMBRIL_TOOLS_LIBERTY_FAMILIES_H
#define TAMBRIL_TOOLS_LIBERTY_FAMILIES_H

#include <string>
#include <unordered_map>
#include <vector>

#include "cellLibrary.h"

// Families of cells (one output, the same function and pins, several drive strengths) and
// the gate library that TAMBRIL sizes with: three constants per unit size fitted to each
// family's cells, a cell's size being its area.
namespace tambril::liberty {

struct Family {
  std::string type;                 // the TAMBRIL type name, at most 9 characters
  std::vector<std::string> inputs;  // pin names, in the gate's fan-in order
  std::string output;
  std::vector<int> cells;  // into CellLibrary::cells, by ascending area
  // Per unit size (square metres): input capacitance (F/m^2), drive resistance (Ohm m^2),
  // the gate's own output capacitance (F/m^2).
  double unitInputCap = 0, unitResistance = 0, unitOutputCap = 0;
  // Worst relative error of the fitted model against the cells: the delay at the typical
  // slew over the tables' load points (the mean of rise and fall), and the input capacitance.
  double delayError = 0, capError = 0;
  double minArea = 0, maxArea = 0;

  int Inputs() const { return static_cast<int>(inputs.size()); }
};

struct Families {
  std::vector<Family> families;
  std::unordered_map<std::string, int> familyOfCell;  // cell name -> family
  std::vector<int> skipped;                           // cells that no family takes
  double typicalSlew = 0;  // seconds: where the drive resistance is read off the tables
  int reference = -1;      // the family whose smallest cell sets the unit of g and p

  const Family* Of(const std::string& cellName) const;
};

// Groups the usable cells into families, names them and fits their constants.
Families BuildFamilies(const CellLibrary& library);

// The delay model of a fitted family for a cell of area `size` driving `load` farads:
// R/size * (Cout * size + load).
double ModelDelay(const Family& family, double size, double load);

// The cell's own figures at the typical slew, the mean over its arcs and of rise and fall:
// the slope of the delay against the load (ohms) and the delay at no load (seconds).
void CellDrive(const Cell& cell, double slew, double& resistance, double& intrinsic);
double MeanInputCap(const Cell& cell);

// param.txt: a header, then one row per family: type, inputs, the three constants, the
// logical effort and parasitic delay against the reference family, and two columns more that
// the sizer does not read: the smallest and the largest area of the family (square metres).
std::string LibraryText(const Families& families);

// The report of tambril-liberty: one line per family with its cells and the fit, then the
// cells skipped and why.
std::string ReportText(const Families& families, const CellLibrary& library);

}  // namespace tambril::liberty

#endif
