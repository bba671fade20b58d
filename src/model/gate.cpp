#include "model/gate.h"

#include <cstring>

namespace {
// The bounds are products, as they have always been computed; in double arithmetic they come
// out as exactly 1.69e-14 and 1e-8.
const double kMinSize = 16.9 * 1e-15;
const double kMaxSize = 10 * 1e-9;
}  // namespace

CGate::CGate()
    : name{},
      id(0),
      fanInCount(0),
      fanOutCount(0),
      unitResistance(0.0),
      upstreamResistance(0.0),
      unitInputCap(0.0),
      loadCap(0.0),
      unitOutputCap(0.0),
      lambdaSum(0.0),
      delay(0.0),
      size(0.0),
      minSize(kMinSize),
      maxSize(kMaxSize),
      isPrimaryOutput(0) {}

CGate::CGate(std::string_view text, int gateId) : CGate() {
  SetName(text);
  id = gateId;
}

CGate::~CGate() = default;

bool CGate::operator==(const CGate& other) const {
  return std::strcmp(name, other.name) == 0 && id == other.id;
}

bool CGate::operator<(const CGate& other) const { return id < other.id; }

void CGate::SetName(std::string_view text) {
  const size_t length = text.size() < kMaxNameLength ? text.size() : kMaxNameLength;
  std::memset(name, 0, sizeof name);
  std::memcpy(name, text.data(), length);
}

namespace tambril {

bool IsSourceNode(const CGate& gate) { return std::strcmp(gate.name, "Input") == 0; }
bool IsSinkNode(const CGate& gate) { return std::strcmp(gate.name, "Output") == 0; }
bool IsPrimaryInputNode(const CGate& gate) { return std::strcmp(gate.name, "pri") == 0; }

bool IsReservedNodeName(std::string_view name) {
  return name == "Input" || name == "Output" || name == "pri";
}

}  // namespace tambril
