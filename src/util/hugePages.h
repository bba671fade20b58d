#ifndef TAMBRIL_UTIL_HUGEPAGES_H
#define TAMBRIL_UTIL_HUGEPAGES_H

#include <cstddef>
#include <vector>

namespace tambril {

// Asks the system to back a large, not yet touched allocation with huge pages. A circuit of a
// million gates occupies some 600 MiB, and on virtual machines the first touch of each small
// page is what reading it costs most. A hint only: it changes no value, and is ignored where
// the system has no such pages.
void AdviseHugePages(const void* data, std::size_t bytes);

// v.assign(count, value), with fresh storage advised for huge pages when it has to grow.
template <typename T>
void AssignLarge(std::vector<T>& v, std::size_t count, const T& value) {
  if (v.capacity() < count) {
    std::vector<T> fresh;
    fresh.reserve(count);
    AdviseHugePages(fresh.data(), count * sizeof(T));
    v.swap(fresh);
  }
  v.assign(count, value);
}

}  // namespace tambril

#endif
