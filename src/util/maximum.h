#ifndef TAMBRIL_UTIL_MAXIMUM_H
#define TAMBRIL_UTIL_MAXIMUM_H

namespace tambril {

// The largest of `count` values, 0.0 when there are none. Among equal values the later one
// wins, as it would be the last after a stable ascending sort.
inline double MaxOf(const double* values, int count) {
  if (count <= 0) return 0.0;
  double largest = values[0];
  for (int i = 1; i < count; ++i) {
    if (!(values[i] < largest)) largest = values[i];
  }
  return largest;
}

}  // namespace tambril

#endif
