#include "FailingAllocator.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
  // Allocations left until the failing one; zero while disarmed.
  std::atomic<std::size_t> countdown{0};
  std::atomic<bool> injected{false};
  std::atomic<std::ptrdiff_t> live{0};

  bool FailThisOne() noexcept
  {
    std::size_t remaining = countdown.load();
    while (remaining > 0 &&
           !countdown.compare_exchange_weak(remaining, remaining - 1))
    {
    }
    return remaining == 1;
  }

  void *Allocate(std::size_t size, std::size_t alignment) noexcept
  {
    if (FailThisOne())
    {
      injected = true;
      return nullptr;
    }
    if (size == 0)
      size = 1;
    void *block = nullptr;
    if (alignment <= alignof(std::max_align_t))
      block = std::malloc(size);
    else if (posix_memalign(&block, alignment, size) != 0)
      block = nullptr;
    if (block)
      ++live;
    return block;
  }

  void *AllocateOrThrow(std::size_t size, std::size_t alignment)
  {
    void *const block = Allocate(size, alignment);
    if (!block)
      throw std::bad_alloc();
    return block;
  }

  void Release(void *block) noexcept
  {
    if (!block)
      return;
    --live;
    std::free(block);
  }

  constexpr std::size_t plain = alignof(std::max_align_t);
}

namespace tova::test
{
  AllocationFailure::AllocationFailure(std::size_t failAt)
  {
    injected = false;
    countdown = failAt;
  }

  AllocationFailure::~AllocationFailure()
  {
    countdown = 0;
  }

  bool AllocationFailure::Happened() const
  {
    return injected;
  }

  std::ptrdiff_t LiveAllocations()
  {
    return live;
  }
}

// Every form, so that no block goes to or comes from the sanitizer's own
// operators, which would see a mismatch between allocation and release.
void *operator new(std::size_t size)
{
  return AllocateOrThrow(size, plain);
}
void *operator new[](std::size_t size)
{
  return AllocateOrThrow(size, plain);
}
void *operator new(std::size_t size, std::align_val_t alignment)
{
  return AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment)
{
  return AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
  return Allocate(size, plain);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
  return Allocate(size, plain);
}
void *operator new(std::size_t size, std::align_val_t alignment,
                   const std::nothrow_t &) noexcept
{
  return Allocate(size, static_cast<std::size_t>(alignment));
}
void *operator new[](std::size_t size, std::align_val_t alignment,
                     const std::nothrow_t &) noexcept
{
  return Allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void *block) noexcept { Release(block); }
void operator delete[](void *block) noexcept { Release(block); }
void operator delete(void *block, std::size_t) noexcept { Release(block); }
void operator delete[](void *block, std::size_t) noexcept { Release(block); }
void operator delete(void *block, std::align_val_t) noexcept
{
  Release(block);
}
void operator delete[](void *block, std::align_val_t) noexcept
{
  Release(block);
}
void operator delete(void *block, std::size_t, std::align_val_t) noexcept
{
  Release(block);
}
void operator delete[](void *block, std::size_t, std::align_val_t) noexcept
{
  Release(block);
}
void operator delete(void *block, const std::nothrow_t &) noexcept
{
  Release(block);
}
void operator delete[](void *block, const std::nothrow_t &) noexcept
{
  Release(block);
}
void operator delete(void *block, std::align_val_t,
                     const std::nothrow_t &) noexcept
{
  Release(block);
}
void operator delete[](void *block, std::align_val_t,
                       const std::nothrow_t &) noexcept
{
  Release(block);
}
