#include "model/library.h"

#include <algorithm>
#include <cstring>

namespace tambril {

const CGateType* FindType(const std::vector<CGateType>& types, std::string_view name) {
  const auto precedes = [](const CGateType& type, std::string_view key) {
    return std::string_view(type.name) < key;
  };
  const auto found = std::lower_bound(types.begin(), types.end(), name, precedes);
  if (found == types.end() || std::string_view(found->name) != name) return nullptr;
  return &*found;
}

const CGateData* FindRow(const CGateType& type, int inputs) {
  CGateData probe;
  probe.key = inputs;
  const auto row = std::lower_bound(type.data.begin(), type.data.end(), probe);
  if (row == type.data.end() || row->key != inputs) return nullptr;
  return &*row;
}

}  // namespace tambril
