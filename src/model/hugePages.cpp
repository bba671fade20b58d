#include "model/hugePages.h"

#include <cstdint>

#include "timing/parallel.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tambril {

void AdviseHugePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
  if (data == nullptr || bytes < 2 * kHuge) return;
  // Only whole huge pages inside the allocation; the ends stay as they are.
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void TouchPages(void* data, std::size_t bytes) {
  constexpr std::size_t kPage = 4096;
  const std::size_t pages = bytes / kPage;
  if (data == nullptr || pages < kMinParallelRange || ThreadCount() == 1) return;
  unsigned char* bytesAt = static_cast<unsigned char*>(data);
  ParallelFor(0, static_cast<int>(pages), [&](int first, int last) {
    // Raw storage, about to be filled: a zero byte per page faults it in.
    for (int page = first; page < last; ++page) bytesAt[static_cast<std::size_t>(page) * kPage] = 0;
  });
}

}  // namespace tambril
