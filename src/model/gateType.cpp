#include "model/gateType.h"

#include <cstring>

CGateType::CGateType() : name{} {}

CGateType::~CGateType() = default;

void CGateType::SetName(std::string_view text) {
  const size_t length = text.size() < kMaxNameLength ? text.size() : kMaxNameLength;
  std::memset(name, 0, sizeof name);
  std::memcpy(name, text.data(), length);
}

int CGateType::Compare(const CGateType& other) const { return std::strcmp(name, other.name); }
