#ifndef TAMBRIL_MODEL_LIBRARY_H
#define TAMBRIL_MODEL_LIBRARY_H

#include <string_view>
#include <vector>

#include "model/gateType.h"

namespace tambril {

// Lookups in a gate library as the library reader leaves it: types ascending by name, every
// name once, each type's rows ascending by key, every key once. O(log n) each.

// The type named `name`, or nullptr.
const CGateType* FindType(const std::vector<CGateType>& types, std::string_view name);
// The row of `type` for gates with `inputs` inputs, or nullptr.
const CGateData* FindRow(const CGateType& type, int inputs);

}  // namespace tambril

#endif
