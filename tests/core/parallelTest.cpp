// Parallel loops split their range into chunks that cover it exactly once; given the work of
// each item, into chunks of about equal work, so that no thread waits long for another.
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "gtest/gtest.h"
#include "util/parallel.h"

namespace tambril {
namespace {

TEST(ParallelFor, ChunksCoverTheRangeOnceWithAboutEqualWork) {
  struct Case {
    const char* name;
    int threads, begin, end;
    int heavyItems;  // the first heavyItems items carry `heavyWork` connections each, the rest 1
    int heavyWork;
    bool withWork;
  };
  const Case cases[] = {
      {"even split", 2, 0, 100000, 0, 0, false},
      {"even split, offset range", 3, 7, 90007, 0, 0, false},
      {"low items carry most work", 2, 0, 100000, 20000, 30, true},
      {"three threads, skewed work", 3, 5, 60005, 5000, 50, true},
      {"uniform work", 2, 0, 50000, 0, 0, true},
      {"too short to split", 2, 0, kMinParallelRange - 1, 100, 30, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetThreadCount(c.threads);
    std::vector<int> work(c.end + 1, 0);  // compressed-row starts
    for (int i = 0; i < c.end; ++i) work[i + 1] = work[i] + (i < c.heavyItems ? c.heavyWork : 1);
    const auto cost = [&](int i) { return c.withWork ? 1 + work[i + 1] - work[i] : 1; };

    std::vector<int> owner(c.end, -1);
    std::vector<long long> chunkCost(c.threads, 0);
    std::atomic<int> calls{0};
    const auto body = [&](int first, int last) {
      ++calls;
      const int thread = omp_get_thread_num();
      for (int i = first; i < last; ++i) {
        EXPECT_EQ(owner[i], -1) << "item " << i << " taken twice";
        owner[i] = thread;
        chunkCost[thread] += cost(i);
      }
    };
    if (c.withWork) {
      ParallelFor(c.begin, c.end, work.data(), body);
    } else {
      ParallelFor(c.begin, c.end, body);
    }
    for (int i = 0; i < c.end; ++i) {
      EXPECT_EQ(owner[i] >= 0, i >= c.begin) << "item " << i;
    }
    if (c.end - c.begin < kMinParallelRange) {
      EXPECT_EQ(calls.load(), 1);
      continue;
    }
    EXPECT_EQ(calls.load(), c.threads);
    long long total = 0, most = 0, dearest = 0;
    for (long long chunk : chunkCost) total += chunk, most = std::max(most, chunk);
    for (int i = c.begin; i < c.end; ++i) dearest = std::max<long long>(dearest, cost(i));
    EXPECT_LE(most, total / c.threads + dearest) << "the heaviest chunk";
  }
  SetThreadCount(1);
}

}  // namespace
}  // namespace tambril
