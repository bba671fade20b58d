#ifndef TAMBRIL_TIMING_PARALLEL_H
#define TAMBRIL_TIMING_PARALLEL_H

namespace tambril {

// The worker threads of a run, from OpenMP's thread pool. SetThreadCount creates the threads
// once; every parallel loop afterwards reuses them, so no pass creates a thread. Parallel
// loops hand out independent work only: every value is computed by the same expression, in
// the same order, whatever the thread count, so the results are the same bits for any count.

// The CPUs this process may run on (its affinity mask); at least 1.
int AvailableCores();

// Sets the threads of every later parallel loop, and starts them; 1 runs everything on the
// calling thread. Until it is called, loops use AvailableCores() threads.
void SetThreadCount(int threads);
int ThreadCount();

// Ranges shorter than this run on the calling thread: a parallel loop costs a few
// microseconds of hand-over, as much as some thousand nodes' work.
inline constexpr int kMinParallelRange = 2048;

// body(first, last) on ThreadCount() contiguous, disjoint chunks that together cover
// [begin, end), one per thread, in parallel; returns when every chunk is done. With one
// thread, or fewer than kMinParallelRange items, body(begin, end) on the calling thread.
// `body` must not throw.
template <typename Body>
void ParallelFor(int begin, int end, const Body& body);

namespace detail {
using ChunkFunction = void (*)(const void* body, int first, int last);
void RunChunks(int begin, int end, ChunkFunction function, const void* body);
}  // namespace detail

template <typename Body>
void ParallelFor(int begin, int end, const Body& body) {
  detail::RunChunks(
      begin, end,
      [](const void* target, int first, int last) {
        (*static_cast<const Body*>(target))(first, last);
      },
      &body);
}

}  // namespace tambril

#endif
