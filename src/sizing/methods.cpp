// The method table.
#include "sizing/areaMethod.h"
#include "sizing/classicMethod.h"
#include "sizing/method.h"
#include "sizing/robustMethod.h"

namespace tambril::sizing {

const std::vector<MethodEntry>& Methods() {
  static const std::vector<MethodEntry> table = {
      // The classic re-weighting lets the multipliers of paths with slack vanish; under a
      // delay target that leaves the area far from its minimum on some circuits.
      {"classic",
       [](const Parameters&) -> std::unique_ptr<Method> {
         return std::make_unique<ClassicMethod>();
       },
       nullptr},
      {"robust",
       [](const Parameters& parameters) -> std::unique_ptr<Method> {
         return std::make_unique<RobustMethod>(parameters);
       },
       [](const Parameters& parameters) -> std::unique_ptr<Method> {
         return std::make_unique<AreaMethod>(parameters);
       }},
  };
  return table;
}

const MethodEntry* FindMethod(std::string_view name) {
  for (const MethodEntry& entry : Methods()) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

std::string MethodNames(bool forArea) {
  std::string names;
  for (const MethodEntry& entry : Methods()) {
    if (forArea && entry.makeForArea == nullptr) continue;
    names += (names.empty() ? "" : ", ") + std::string(entry.name);
  }
  return names;
}

}  // namespace tambril::sizing
