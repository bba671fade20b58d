#ifndef TAMBRIL_UTIL_PREFETCH_H
#define TAMBRIL_UTIL_PREFETCH_H

namespace tambril {

// A hint to fetch memory that a loop will read (kWrite 0) or write (kWrite 1) a little later.
// The sweeps gather per-node values through connection lists; on large circuits those reads go
// to main memory, and issuing them some connections ahead keeps several in flight. No effect
// on any result.
template <int kWrite>
inline void Prefetch(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address, kWrite, 1);
#else
  (void)address;
#endif
}

inline void PrefetchRead(const void* address) { Prefetch<0>(address); }
inline void PrefetchWrite(const void* address) { Prefetch<1>(address); }

// How many connections (or nodes) ahead the gathers ask for their data.
inline constexpr int kPrefetchDistance = 32;

}  // namespace tambril

#endif
