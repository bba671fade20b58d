#ifndef TAMBRIL_MODEL_GATETYPE_H
#define TAMBRIL_MODEL_GATETYPE_H

#include <string_view>
#include <vector>

#include "model/gateData.h"

// CGateType is one gate type of the library: its name and its rows, one per supported number
// of inputs, ascending by key once the library is read. Types compare by the byte-wise order
// of their names.
class CGateType {
 public:
  static constexpr int kMaxNameLength = 9;

  CGateType();
  CGateType(const CGateType&) = default;
  CGateType& operator=(const CGateType&) = default;
  CGateType(CGateType&&) = default;
  CGateType& operator=(CGateType&&) = default;
  virtual ~CGateType();

  bool operator==(const CGateType& other) const { return Compare(other) == 0; }
  bool operator<(const CGateType& other) const { return Compare(other) < 0; }
  bool operator>(const CGateType& other) const { return Compare(other) > 0; }
  bool operator<=(const CGateType& other) const { return Compare(other) <= 0; }
  bool operator>=(const CGateType& other) const { return Compare(other) >= 0; }

  // Truncates to kMaxNameLength characters.
  void SetName(std::string_view text);

  char name[kMaxNameLength + 1];
  std::vector<CGateData> data;

 private:
  int Compare(const CGateType& other) const;
};

#endif
