#ifndef TAMBRIL_INPUT_LIBRARYREADER_H
#define TAMBRIL_INPUT_LIBRARYREADER_H

#include <string>
#include <vector>

#include "io/reporter.h"
#include "model/gateType.h"

namespace tambril {

// Reads the gate library `fileName`: one header line, then one row per gate type and number of
// inputs (name, inputs, input capacitance, resistance, output capacitance and two carried
// values, separated by tabs or commas). Appends the types to `types`, which must be empty, in
// ascending order of name, each with its rows ascending by key; echoes every row's type name on
// a line of its own through `reporter`, in file order.
//
// Throws CannotOpen when the file cannot be opened and CannotParse when it is not a library: no
// header, an empty row, a missing column, a name longer than 9 characters, an input count that
// is not a whole number of at least 1, a constant that is not a finite number (capacitance and
// resistance above 0, output capacitance at least 0), or two rows of one type for one count.
void ReadLibrary(const std::string& fileName, std::vector<CGateType>& types, Reporter& reporter);

}  // namespace tambril

#endif
