#ifndef TAMBRIL_INPUT_CIRCUITGRAPH_H
#define TAMBRIL_INPUT_CIRCUITGRAPH_H

#include <string>
#include <vector>

#include "model/part.h"

namespace tambril {

// Completes the records that ReadNetlist made of `fileName` into the circuit graph: appends the
// "Input" pseudo-node (id n + 1), which drives every primary input, whose driver resistance
// becomes `driverResistance`, and the "Output" pseudo-node (id n + 2), driven by every primary
// output and loading each with `outputLoad`; then mirrors every fan-in into a fan-out record at
// its driver (receivers by ascending id, then pin). O(V + E).
//
// Throws CannotParse when the connections are not a circuit graph: a driver id outside the
// node lines, fan-ins on a primary-input line, or a fan-out count that differs from the number
// of connections that name the node as driver.
void CompleteCircuitGraph(const std::string& fileName, double driverResistance, double outputLoad,
                          std::vector<PartType>& parts);

}  // namespace tambril

#endif
