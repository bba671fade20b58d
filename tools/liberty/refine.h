#ifndef TAMBRIL_TOOLS_LIBERTY_REFINE_H
#define TAMBRIL_TOOLS_LIBERTY_REFINE_H

#include <vector>

#include "cellLibrary.h"
#include "design.h"
#include "families.h"

// Discrete sizing with the libraries' own tables: from cells chosen for the continuous sizes,
// swaps within each family where the timer says they pay.
namespace tambril::liberty {

// The member of a family whose area is nearest to `size` (square metres; by ratio), among
// equal areas the one whose drive at `slew` matches the family's fitted model best.
int CellForSize(const Family& family, const CellLibrary& library, double size, double slew);

struct RefineOptions {
  int rounds = 2;  // of speeding up, then recovering area
  // Larger circuits get one round, with at most two passes of area recovery.
  int thoroughGates = 20000;
  int maxPasses = 200;
  int minPasses = 20;
  // Passes times gates at most this (but at least minPasses passes): bounds the time on large
  // circuits.
  double gateBudget = 4e6;
  // Gates whose longest path is within this fraction of the critical delay are tried.
  double window = 0.02;
  // When no gate there pays, the window grows fourfold, up to this.
  double maxWindow = 0.32;
  // ... but at most this many (or a fiftieth of the gates), the most critical.
  size_t windowGates = 2000;
  // Passes in a row that may leave the delay as it is before the search stops.
  int idlePasses = 8;
  // 0: as fast as it gets, then the smallest area at that delay; otherwise (seconds) the
  // smallest area that meets it (or, when it cannot be met, the fastest).
  double delayTarget = 0;
  // Speed-ups ranked by delay gained per area added rather than by delay gained.
  bool perArea = false;
};

struct RefineResult {
  double initialDelay = 0, finalDelay = 0;  // seconds
  double initialArea = 0, finalArea = 0;    // square metres
  int passes = 0;
  int changes = 0;
};

// Changes `cells` (one per gate of `design`, each a member of the gate's family).
RefineResult Refine(const Design& design, const CellLibrary& library, std::vector<int>& cells,
                    const RefineOptions& options);

// Area recovery checked move by move by the timer: the gates, those with the most slack
// first, each step down to the next smaller cell of their family and keep it when the circuit
// still meets `goal` (seconds); sweeps until one changes nothing, at most `sweeps`. Leaves
// `cells` as they are when they do not meet `goal`. Returns how many steps were kept.
int Downsize(const Design& design, const CellLibrary& library, std::vector<int>& cells, double goal,
             int sweeps);

}  // namespace tambril::liberty

#endif
