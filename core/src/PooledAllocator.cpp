#include <cstddef>
#include <new>

#include <tova/plugin/detail/PooledAllocator.hpp>

#if defined(__SANITIZE_ADDRESS__)
#define TOVA_PLUGIN_POISON_CACHED_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOVA_PLUGIN_POISON_CACHED_BLOCKS 1
#endif
#endif

#ifdef TOVA_PLUGIN_POISON_CACHED_BLOCKS
#include <sanitizer/asan_interface.h>
#endif

namespace tova::plugin::detail
{
  namespace
  {
    // Block sizes that the heap serves without waste here: its chunks are
    // multiples of 16 bytes, 8 of which it keeps for itself.
    constexpr std::size_t kSmallestBlock = 24;
    constexpr std::size_t kBlockStep = 16;
    constexpr std::size_t kSizeClasses = 7;
    constexpr std::size_t kLargestBlock =
        kSmallestBlock + kBlockStep * (kSizeClasses - 1);
    // Bounds what an idle thread keeps: at most some 30 KiB.
    constexpr unsigned kBlocksPerClass = 64;

    struct FreeBlock
    {
      FreeBlock *next;
    };

    /// Trivial, so that reaching it needs no check of initialisation.
    struct ThreadCache
    {
      FreeBlock *heads[kSizeClasses];
      unsigned counts[kSizeClasses];
      /// The thread's end will give the blocks back.
      bool armed;
      /// Given back already: later releases go straight to the heap.
      bool ended;
    };

    __attribute__((tls_model("initial-exec"))) thread_local ThreadCache
        cache;

    std::size_t SizeClassOf(std::size_t size)
    {
      return size <= kSmallestBlock
                 ? 0
                 : (size - kSmallestBlock + kBlockStep - 1) / kBlockStep;
    }

    std::size_t BlockSizeOf(std::size_t sizeClass)
    {
      return kSmallestBlock + kBlockStep * sizeClass;
    }

    // A cached block is poisoned, so that a use after its release is
    // still reported under AddressSanitizer.
    void Poison([[maybe_unused]] void *block,
                [[maybe_unused]] std::size_t size)
    {
#ifdef TOVA_PLUGIN_POISON_CACHED_BLOCKS
      ASAN_POISON_MEMORY_REGION(block, size);
#endif
    }

    void Unpoison([[maybe_unused]] void *block,
                  [[maybe_unused]] std::size_t size)
    {
#ifdef TOVA_PLUGIN_POISON_CACHED_BLOCKS
      ASAN_UNPOISON_MEMORY_REGION(block, size);
#endif
    }

    FreeBlock *Pop(std::size_t sizeClass)
    {
      FreeBlock *const block = cache.heads[sizeClass];
      if (!block)
        return nullptr;
      Unpoison(block, BlockSizeOf(sizeClass));
      cache.heads[sizeClass] = block->next;
      --cache.counts[sizeClass];
      return block;
    }

    struct ThreadEnd
    {
      ~ThreadEnd()
      {
        for (std::size_t sizeClass = 0; sizeClass < kSizeClasses;
             ++sizeClass)
        {
          while (FreeBlock *const block = Pop(sizeClass))
            ::operator delete(block);
        }
        cache.armed = false;
        cache.ended = true;
      }
    };

    thread_local ThreadEnd threadEnd;

    /// Whether the thread may keep blocks; the first time, arranges that
    /// its end gives them back.
    bool MayKeepBlocks()
    {
      if (cache.armed)
        return true;
      if (cache.ended)
        return false;
      // Naming the object registers its destructor for this thread.
      static_cast<void>(&threadEnd);
      cache.armed = true;
      return true;
    }
  }

  void *AllocatePooledBlock(std::size_t size)
  {
    if (size > kLargestBlock)
      return ::operator new(size);
    const std::size_t sizeClass = SizeClassOf(size);
    if (FreeBlock *const block = Pop(sizeClass))
      return block;
    return ::operator new(BlockSizeOf(sizeClass));
  }

  void ReleasePooledBlock(void *block, std::size_t size) noexcept
  {
    if (!block)
      return;
    const std::size_t sizeClass = SizeClassOf(size);
    if (size > kLargestBlock || cache.counts[sizeClass] >= kBlocksPerClass ||
        !MayKeepBlocks())
    {
      ::operator delete(block);
      return;
    }
    auto *const freeBlock = static_cast<FreeBlock *>(block);
    freeBlock->next = cache.heads[sizeClass];
    cache.heads[sizeClass] = freeBlock;
    ++cache.counts[sizeClass];
    Poison(block, BlockSizeOf(sizeClass));
  }
}
