#ifndef TAMBRIL_TOOLS_LIBERTY_LAGRANGIAN_H
#define TAMBRIL_TOOLS_LIBERTY_LAGRANGIAN_H

#include <vector>

#include "cellLibrary.h"
#include "design.h"

// Least area under a delay target on the discrete cells, by Lagrangian relaxation over the
// libraries' own timing: a multiplier on every timing arc, each gate given in turn the cell
// of its family that minimises its area plus the multiplier-weighted delays it influences,
// and the multipliers re-weighted from a timing analysis.
namespace tambril::liberty {

struct LagrangianResult {
  int iterations = 0;
  double delay = 0;  // seconds, of the cells left
  double area = 0;   // square metres
  bool met = false;  // some iteration met the target
};

// Changes `cells` (one per gate of `design`, each a member of the gate's family) to the
// smallest assignment met on the way, or when none meets `target` (seconds), to the fastest.
LagrangianResult LagrangianSizing(const Design& design, const CellLibrary& library,
                                  std::vector<int>& cells, double target, int iterations);

}  // namespace tambril::liberty

#endif
