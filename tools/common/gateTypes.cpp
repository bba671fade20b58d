#include "common/gateTypes.h"

namespace tambril::tools {
namespace {

constexpr std::string_view kNames[kGateTypeCount] = {"INV", "BUF", "AND", "NAND",
                                                     "OR",  "NOR", "XOR", "XNOR"};

}  // namespace

std::string_view GateTypeName(GateType type) { return kNames[type]; }

bool GateTypeFromName(std::string_view name, GateType& type) {
  for (int t = 0; t < kGateTypeCount; ++t) {
    if (kNames[t] == name) {
      type = static_cast<GateType>(t);
      return true;
    }
  }
  return false;
}

int WidestRow(GateType type) { return type == kInv || type == kBuf ? 1 : kWidestGate; }

}  // namespace tambril::tools
