#ifndef TOVA_TESTS_HARDENING_FAILINGALLOCATOR_HPP_
#define TOVA_TESTS_HARDENING_FAILINGALLOCATOR_HPP_

#include <cstddef>

namespace tova::test
{
  /// \brief While it lives, the `failAt`-th allocation through the global
  /// operator new fails: the throwing forms throw std::bad_alloc, the
  /// nothrow forms return null. Every other allocation succeeds. The
  /// operators are replaced for the whole process, so allocations inside
  /// plugin libraries and the standard library count too. One at a time,
  /// armed on the thread that runs the operation under test.
  class AllocationFailure
  {
  public:
    explicit AllocationFailure(std::size_t failAt);
    AllocationFailure(const AllocationFailure &) = delete;
    AllocationFailure &operator=(const AllocationFailure &) = delete;
    ~AllocationFailure();

    /// True once the failure has been injected.
    bool Happened() const;
  };

  /// Blocks from the global operator new that are not given back yet.
  std::ptrdiff_t LiveAllocations();
}

#endif
