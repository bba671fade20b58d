#include "timing/parallel.h"

#include <omp.h>
#include <sched.h>

namespace tambril {

namespace {
int threadCount = 0;  // 0: not set yet
}  // namespace

int AvailableCores() {
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  const int count = CPU_COUNT(&cpus);
  return count > 0 ? count : 1;
}

void SetThreadCount(int threads) {
  threadCount = threads > 0 ? threads : 1;
  if (threadCount == 1) return;
  omp_set_dynamic(0);
  // An empty region starts the pool now, before any output file exists, rather than in the
  // first pass.
#pragma omp parallel num_threads(threadCount)
  {}
}

int ThreadCount() {
  if (threadCount == 0) SetThreadCount(AvailableCores());
  return threadCount;
}

namespace detail {

void RunChunks(int begin, int end, ChunkFunction function, const void* body) {
  const int threads = ThreadCount();
  if (threads == 1 || end - begin < kMinParallelRange) {
    function(body, begin, end);
    return;
  }
#pragma omp parallel num_threads(threads)
  {
    const long long size = end - begin;
    const long long thread = omp_get_thread_num();
    const long long count = omp_get_num_threads();
    const int first = begin + static_cast<int>(size * thread / count);
    const int last = begin + static_cast<int>(size * (thread + 1) / count);
    if (first < last) function(body, first, last);
  }
}

}  // namespace detail

}  // namespace tambril
