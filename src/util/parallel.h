#ifndef TAMBRIL_UTIL_PARALLEL_H
#define TAMBRIL_UTIL_PARALLEL_H

#include <vector>

namespace tambril {

// The worker threads of a run, from OpenMP's thread pool. SetThreadCount creates the threads
// once; every parallel loop afterwards reuses them, so no pass creates a thread. Parallel
// loops hand out independent work only: every value is computed by the same expression, in
// the same order, whatever the thread count, so the results are the same bits for any count.

// The CPUs this process may run on (its affinity mask); at least 1.
int AvailableCores();

// Sets the threads of every later parallel loop, and starts them; 1 runs everything on the
// calling thread. An executable calls it once, before any parallel loop; until then every
// loop runs on the calling thread.
void SetThreadCount(int threads);
// The threads that parallel loops use from now on: 1 up to the count set above, which no pass
// exceeds. Cheap: the threads stay, the loops take fewer or more of them.
void UseThreads(int threads);
// The threads that parallel loops use now.
int ThreadCount();
// The count set by SetThreadCount.
int MostThreads();

// Ranges shorter than this run on the calling thread: a parallel loop costs a few
// microseconds of hand-over, as much as some thousand nodes' work.
inline constexpr int kMinParallelRange = 2048;
// A level of a schedule (RunSchedule) is split among the threads from this many nodes on:
// inside the one parallel region of a schedule, the hand-over between levels is a barrier, a
// microsecond or so, as much as a hundred nodes' work. (Levels of a few hundred nodes are the
// whole of some deep circuits: at 2048 they would run on one thread.)
inline constexpr int kMinWideLevel = 256;

// body(first, last) on ThreadCount() contiguous, disjoint chunks that together cover
// [begin, end), one per thread, in parallel; returns when every chunk is done. With one
// thread, or fewer than kMinParallelRange items, body(begin, end) on the calling thread.
// `body` must not throw.
template <typename Body>
void ParallelFor(int begin, int end, const Body& body);
// The same, with chunks of about equal work rather than equal length: item i costs 1 plus
// work[i + 1] - work[i] (work non-decreasing, such as the start of each node's connections in
// compressed rows), so that threads whose items carry more connections take fewer of them.
template <typename Body>
void ParallelFor(int begin, int end, const int* work, const Body& body);

// One step of a schedule: the range [begin, end), either split among the threads (`wide`)
// or taken whole by one thread.
struct Span {
  int begin;
  int end;
  bool wide;
};

// body(first, last) over the spans of `schedule` in order (in reverse with `backward`), each
// span complete before the next begins: a wide span split as ParallelFor splits it, a narrow
// one whole on one thread. One parallel region with a barrier between spans, so that a sweep
// costs one hand-over per span. `body` must not throw.
template <typename Body>
void RunSchedule(const std::vector<Span>& schedule, bool backward, const Body& body);

namespace detail {
using ChunkFunction = void (*)(const void* body, int first, int last);
void RunChunks(int begin, int end, const int* work, ChunkFunction function, const void* body);
void RunSpans(const Span* spans, int count, bool backward, ChunkFunction function,
              const void* body);

template <typename Body>
void Invoke(const void* target, int first, int last) {
  (*static_cast<const Body*>(target))(first, last);
}
}  // namespace detail

template <typename Body>
void ParallelFor(int begin, int end, const Body& body) {
  detail::RunChunks(begin, end, nullptr, &detail::Invoke<Body>, &body);
}

template <typename Body>
void ParallelFor(int begin, int end, const int* work, const Body& body) {
  detail::RunChunks(begin, end, work, &detail::Invoke<Body>, &body);
}

template <typename Body>
void RunSchedule(const std::vector<Span>& schedule, bool backward, const Body& body) {
  detail::RunSpans(schedule.data(), static_cast<int>(schedule.size()), backward,
                   &detail::Invoke<Body>, &body);
}

}  // namespace tambril

#endif
