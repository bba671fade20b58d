#ifndef TAMBRIL_INPUT_NETLISTREADER_H
#define TAMBRIL_INPUT_NETLISTREADER_H

#include <string>
#include <vector>

#include "model/gateType.h"
#include "model/part.h"

namespace tambril {

// The five counts of a netlist's header line, in file order.
struct NetlistHeader {
  int circuitSize = 0;    // printed in the result file
  int value2 = 0;         // carried
  int value3 = 0;         // carried
  int outputCount = 0;    // primary outputs: the starting multiplier of each is 1 / outputCount
  int nodeLineCount = 0;  // node lines after the header
};

// Reads the netlist `fileName`: the header, then one line per node ("pri", a gate type, or
// "po" and a gate type; the fan-out count; the fan-in count; one triple of driver id and two
// carried values per fan-in). Appends one record per node line to `parts`, which must be
// empty: node id k at parts[k - 1], every gate bound to the row of `types` for its type and
// fan-in count, multipliers -1 and pin arrivals 0 per fan-in. Connections are not checked here
// (CompleteCircuitGraph does).
//
// Throws CannotOpen when the file cannot be opened, CannotParse when it is not a netlist (a
// header that is not five integers with at least one node line, a missing token, a name longer
// than 9 characters, too few node lines or more than blank lines after them), and CannotRead
// for a gate whose type or input count the library lacks, or that is named like a pseudo-node.
void ReadNetlist(const std::string& fileName, const std::vector<CGateType>& types,
                 NetlistHeader& header, std::vector<PartType>& parts);

}  // namespace tambril

#endif
