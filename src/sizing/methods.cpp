// The method table.
#include "sizing/classicMethod.h"
#include "sizing/method.h"
#include "sizing/robustMethod.h"

namespace tambril::sizing {

const std::vector<MethodEntry>& Methods() {
  static const std::vector<MethodEntry> table = {
      {"classic", [](const Parameters&) -> std::unique_ptr<Method> {
         return std::make_unique<ClassicMethod>();
       }},
      {"robust", [](const Parameters& parameters) -> std::unique_ptr<Method> {
         return std::make_unique<RobustMethod>(parameters);
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

std::string MethodNames() {
  std::string names;
  for (const MethodEntry& entry : Methods()) {
    names += (names.empty() ? "" : ", ") + std::string(entry.name);
  }
  return names;
}

}  // namespace tambril::sizing
