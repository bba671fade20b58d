#ifndef TAMBRIL_TOOLS_COMMON_GATETYPES_H
#define TAMBRIL_TOOLS_COMMON_GATETYPES_H

#include <cstdint>
#include <string_view>

namespace tambril::tools {

// The gate types of the bundled library (tools/make-library), the one table of the tools and
// their tests: INV and BUF with one input; AND, NAND, OR, NOR, XOR and XNOR with 1 to
// kWidestGate inputs. The values are positions in the table, in the library's row order.
enum GateType : uint8_t { kInv, kBuf, kAnd, kNand, kOr, kNor, kXor, kXnor, kGateTypeCount };

inline constexpr int kWidestGate = 16;

// "INV", "BUF", "AND", ...: the type's name in netlists and in the library.
std::string_view GateTypeName(GateType type);
// The type of that name, case-sensitive; false for any other word ("pri" and "po" too).
bool GateTypeFromName(std::string_view name, GateType& type);
// The widest row of the type: 1 for INV and BUF, kWidestGate for the others.
int WidestRow(GateType type);

}  // namespace tambril::tools

#endif
