#include "AllocationCounter.hpp"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace
{
  // Per thread, so that counting needs no atomic operation on the paths
  // being timed.
  thread_local bench::AllocationTally tally;
  thread_local bool countBytes = false;

  void *Allocate(std::size_t size) noexcept
  {
    void *const block = std::malloc(size == 0 ? 1 : size);
    if (!block)
      return nullptr;
    ++tally.allocations;
    if (countBytes)
      tally.allocatedBytes += malloc_usable_size(block);
    return block;
  }

  void *AllocateOrThrow(std::size_t size)
  {
    void *const block = Allocate(size);
    if (!block)
      throw std::bad_alloc();
    return block;
  }

  void Release(void *block) noexcept
  {
    if (!block)
      return;
    ++tally.releases;
    if (countBytes)
      tally.releasedBytes += malloc_usable_size(block);
    std::free(block);
  }
}

namespace bench
{
  AllocationTally CurrentAllocations()
  {
    return tally;
  }

  void CountAllocatedBytes(bool on)
  {
    countBytes = on;
  }

  AllocationsPerIteration::AllocationsPerIteration(benchmark::State &_state)
    : state(_state), before(tally.allocations)
  {
  }

  AllocationsPerIteration::~AllocationsPerIteration()
  {
    this->state.counters["allocs"] = benchmark::Counter(
        static_cast<double>(tally.allocations - this->before),
        benchmark::Counter::kAvgIterations);
  }
}

// Replaced for the whole process, plugin libraries included, so that every
// allocation of the framework and of the baselines is counted.
void *operator new(std::size_t size) { return AllocateOrThrow(size); }
void *operator new[](std::size_t size) { return AllocateOrThrow(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
  return Allocate(size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
  return Allocate(size);
}
void operator delete(void *block) noexcept { Release(block); }
void operator delete[](void *block) noexcept { Release(block); }
void operator delete(void *block, std::size_t) noexcept { Release(block); }
void operator delete[](void *block, std::size_t) noexcept { Release(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept
{
  Release(block);
}
void operator delete[](void *block, const std::nothrow_t &) noexcept
{
  Release(block);
}
