#ifndef TOVA_PLUGIN_DETAIL_POOLEDALLOCATOR_HPP_
#define TOVA_PLUGIN_DETAIL_POOLEDALLOCATOR_HPP_

#include <cstddef>
#include <limits>
#include <new>

#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin::detail
{
  /// \brief A block of at least `size` bytes, aligned for any fundamental
  /// type.
  ///
  /// Small blocks come from a cache of the calling thread when it has one
  /// of their size, which is what makes short-lived instances cheap; all
  /// other blocks, and small ones when the cache is empty, come from the
  /// global `operator new`. Throws `std::bad_alloc` as that does.
  TOVA_PLUGIN_EXPORT void *AllocatePooledBlock(std::size_t size);

  /// \brief Gives back a block of `AllocatePooledBlock(size)`, from any
  /// thread.
  ///
  /// A small block joins the calling thread's cache unless that is full
  /// (or the thread is ending); each cache holds a bounded number of
  /// blocks and gives them all back to the heap when its thread ends.
  TOVA_PLUGIN_EXPORT void ReleasePooledBlock(void *block,
                                             std::size_t size) noexcept;

  /// \brief A standard allocator over `AllocatePooledBlock`; all instances
  /// are interchangeable.
  template <class T>
  class PooledAllocator
  {
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
                  "pooled blocks have the default alignment of new");

  public:
    using value_type = T;

    PooledAllocator() noexcept = default;

    template <class Other>
    PooledAllocator(const PooledAllocator<Other> &) noexcept
    {
    }

    T *allocate(std::size_t count)
    {
      if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
        throw std::bad_array_new_length();
      return static_cast<T *>(AllocatePooledBlock(count * sizeof(T)));
    }

    void deallocate(T *block, std::size_t count) noexcept
    {
      ReleasePooledBlock(block, count * sizeof(T));
    }

    template <class Other>
    bool operator==(const PooledAllocator<Other> &) const noexcept
    {
      return true;
    }

    template <class Other>
    bool operator!=(const PooledAllocator<Other> &) const noexcept
    {
      return false;
    }
  };
}

#endif
