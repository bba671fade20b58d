#include "util/parallel.h"

#include <omp.h>
#include <sched.h>

namespace tambril {

namespace {
int threadCount = 1;  // in use
int mostThreads = 1;  // started
}  // namespace

int AvailableCores() {
  cpu_set_t cpus;
  if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 1;
  const int count = CPU_COUNT(&cpus);
  return count > 0 ? count : 1;
}

void SetThreadCount(int threads) {
  threadCount = threads > 0 ? threads : 1;
  mostThreads = threadCount;
  if (threadCount == 1) return;
  omp_set_dynamic(0);
  // An empty region starts the pool now, before any output file exists, rather than in the
  // first pass.
#pragma omp parallel num_threads(threadCount)
  {}
}

void UseThreads(int threads) {
  threadCount = threads < 1 ? 1 : threads > mostThreads ? mostThreads : threads;
}

int ThreadCount() { return threadCount; }

int MostThreads() { return mostThreads; }

namespace detail {

void RunChunks(int begin, int end, const int* work, ChunkFunction function, const void* body) {
  const int threads = ThreadCount();
  if (threads == 1 || end - begin < kMinParallelRange) {
    function(body, begin, end);
    return;
  }
  // The cost of the items before i: one each, plus their work when given.
  const auto cost = [&](int i) {
    const long long items = i - begin;
    return work == nullptr ? items : items + (work[i] - work[begin]);
  };
  // Where chunk `part` of `count` begins: the first item before which lies at least its share
  // of the cost (without work, begin + size * part / count, rounded down).
  const auto cut = [&](long long part, long long count) {
    if (part == count) return end;
    const long long target = cost(end) * part / count;
    int low = begin;
    int high = end;
    while (low < high) {
      const int middle = low + (high - low) / 2;
      if (cost(middle) < target) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low;
  };
#pragma omp parallel num_threads(threads)
  {
    const long long thread = omp_get_thread_num();
    const long long count = omp_get_num_threads();
    const int first = cut(thread, count);
    const int last = cut(thread + 1, count);
    if (first < last) function(body, first, last);
  }
}

void RunSpans(const Span* spans, int count, bool backward, ChunkFunction function,
              const void* body) {
  const auto at = [&](int i) -> const Span& { return spans[backward ? count - 1 - i : i]; };
  bool wide = false;
  for (int i = 0; i < count; ++i) wide = wide || spans[i].wide;
  const int threads = ThreadCount();
  if (threads == 1 || !wide) {
    for (int i = 0; i < count; ++i) function(body, at(i).begin, at(i).end);
    return;
  }
#pragma omp parallel num_threads(threads)
  {
    const long long thread = omp_get_thread_num();
    const long long team = omp_get_num_threads();
    for (int i = 0; i < count; ++i) {
      const Span& span = at(i);
      if (span.wide) {
        const long long size = span.end - span.begin;
        const int first = span.begin + static_cast<int>(size * thread / team);
        const int last = span.begin + static_cast<int>(size * (thread + 1) / team);
        if (first < last) function(body, first, last);
      } else if (thread == 0) {
        function(body, span.begin, span.end);
      }
      if (i + 1 < count) {
#pragma omp barrier
      }
    }
  }
}

}  // namespace detail

}  // namespace tambril
