#ifndef TAMBRIL_MODEL_GATEDATA_H
#define TAMBRIL_MODEL_GATEDATA_H

// CGateData is one row of the gate library: the electrical constants of one gate type for one
// number of inputs (`key`). Rows compare by key alone. Units: F/m^2 for the capacitances,
// ohm * m^2 for the resistance. value4 and value5 are carried from the file, never used.
// minSize and maxSize (m^2), from the optional columns 8 and 9, bound the sizes of the row's
// gates within the sizer's own bounds; both 0 when the row has none.
class CGateData {
 public:
  CGateData() = default;
  CGateData(const CGateData&) = default;
  CGateData& operator=(const CGateData&) = default;
  virtual ~CGateData();

  bool operator==(const CGateData& other) const { return key == other.key; }
  bool operator<(const CGateData& other) const { return key < other.key; }
  bool operator>(const CGateData& other) const { return key > other.key; }
  bool operator<=(const CGateData& other) const { return key <= other.key; }
  bool operator>=(const CGateData& other) const { return key >= other.key; }

  int key = 0;
  double unitInputCap = 0.0;
  double unitResistance = 0.0;
  double unitOutputCap = 0.0;
  double value4 = 0.0;
  double value5 = 0.0;
  double minSize = 0.0;
  double maxSize = 0.0;
};

#endif
