#ifndef TOVA_PLUGIN_BENCH_ALLOCATIONCOUNTER_HPP_
#define TOVA_PLUGIN_BENCH_ALLOCATIONCOUNTER_HPP_

#include <cstddef>

#include <benchmark/benchmark.h>

namespace bench
{
  /// What the global operator new and delete have done on this thread.
  struct AllocationTally
  {
    std::size_t allocations = 0;
    std::size_t releases = 0;
    /// Usable bytes of the blocks, counted only while byte counting is on.
    std::size_t allocatedBytes = 0;
    std::size_t releasedBytes = 0;
  };

  /// This thread's tally since it started.
  AllocationTally CurrentAllocations();

  /// Switches the counting of bytes on this thread, which costs a look at
  /// every block and so stays off while timing matters.
  void CountAllocatedBytes(bool on);

  /// Reports, as the counter "allocs", the allocations per iteration that
  /// the benchmark loop made between construction and destruction.
  class AllocationsPerIteration
  {
  public:
    explicit AllocationsPerIteration(benchmark::State &state);

    AllocationsPerIteration(const AllocationsPerIteration &) = delete;
    AllocationsPerIteration &operator=(const AllocationsPerIteration &) =
        delete;

    ~AllocationsPerIteration();

  private:
    benchmark::State &state;
    std::size_t before;
  };
}

#endif
