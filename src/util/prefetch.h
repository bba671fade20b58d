#ifndef TAMBRIL_UTIL_PREFETCH_H
#define TAMBRIL_UTIL_PREFETCH_H

namespace tambril {

// A hint to fetch memory that a loop will read a little later. The sweeps gather per-node
// values through connection lists; on large circuits those reads go to main memory, and
// issuing them some connections ahead keeps several in flight. No effect on any result.
inline void PrefetchRead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address, 0, 1);
#else
  (void)address;
#endif
}

// The same for memory that a loop will write a little later.
inline void PrefetchWrite(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address, 1, 1);
#else
  (void)address;
#endif
}

// How many connections (or nodes) ahead the gathers ask for their data.
inline constexpr int kPrefetchDistance = 32;

}  // namespace tambril

#endif
