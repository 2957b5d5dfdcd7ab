// The per-thread cache of small blocks behind plugins and their instances:
// every byte asked for is usable, blocks may go back on any thread, a
// thread keeps a bounded number, and its end gives them all back, also
// those released by its later thread-local destructors.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include <tova/plugin/detail/PooledAllocator.hpp>

#include "FailingAllocator.hpp"

namespace
{
  using tova::plugin::detail::AllocatePooledBlock;
  using tova::plugin::detail::ReleasePooledBlock;
  using tova::test::LiveAllocations;

  // Sizes around each boundary of the cache's size classes, and beyond.
  const std::vector<std::size_t> kSizes = {0,  1,  8,  24, 25,  40,  41,
                                           72, 88, 89, 120, 121, 500};

  template <class Work>
  void OnNewThread(Work work)
  {
    std::thread thread(work);
    thread.join();
  }

  TEST(PooledBlocks, EveryRequestedByteIsUsableAndAligned)
  {
    OnNewThread([] {
      for (const std::size_t size : kSizes)
      {
        auto *const block = static_cast<unsigned char *>(
            AllocatePooledBlock(size));
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) %
                          __STDCPP_DEFAULT_NEW_ALIGNMENT__)
            << size;
        std::memset(block, 0xAB, size);
        ReleasePooledBlock(block, size);
      }
    });
  }

  TEST(PooledBlocks, ThreadKeepsABoundedNumberAndGivesThemBackAtItsEnd)
  {
    const std::ptrdiff_t before = LiveAllocations();
    OnNewThread([] {
      // Measured here: the running thread's own state is one block.
      const std::ptrdiff_t atStart = LiveAllocations();
      for (const std::size_t size : kSizes)
      {
        std::vector<void *> blocks;
        for (int i = 0; i < 1000; ++i)
          blocks.push_back(AllocatePooledBlock(size));
        for (void *const block : blocks)
          ReleasePooledBlock(block, size);
      }
      // At most 64 blocks for each of the seven size classes.
      EXPECT_LE(LiveAllocations() - atStart, 7 * 64);
      EXPECT_GT(LiveAllocations() - atStart, 0);
    });
    EXPECT_EQ(before, LiveAllocations());
  }

  TEST(PooledBlocks, CachedBlocksAreReused)
  {
    OnNewThread([] {
      void *const first = AllocatePooledBlock(72);
      ReleasePooledBlock(first, 72);
      const std::ptrdiff_t before = LiveAllocations();
      void *const second = AllocatePooledBlock(70);
      EXPECT_EQ(first, second);
      EXPECT_EQ(before, LiveAllocations());
      ReleasePooledBlock(second, 70);
    });
  }

  TEST(PooledBlocks, BlocksMayBeReleasedOnAnotherThread)
  {
    const std::ptrdiff_t before = LiveAllocations();
    std::vector<void *> blocks;
    blocks.reserve(100);
    const std::ptrdiff_t withTheList = LiveAllocations();
    OnNewThread([&blocks] {
      for (int i = 0; i < 100; ++i)
        blocks.push_back(AllocatePooledBlock(40));
    });
    OnNewThread([&blocks] {
      for (void *const block : blocks)
        ReleasePooledBlock(block, 40);
      // The releasing thread reuses them.
      for (int i = 0; i < 50; ++i)
        blocks[i] = AllocatePooledBlock(40);
      for (int i = 0; i < 50; ++i)
        ReleasePooledBlock(blocks[i], 40);
    });
    EXPECT_EQ(withTheList, LiveAllocations());
    std::vector<void *>().swap(blocks);
    EXPECT_EQ(before, LiveAllocations());
  }

  /// Holds a block until its thread's destructors run.
  struct LateHolder
  {
    void *block = nullptr;

    ~LateHolder() { ReleasePooledBlock(this->block, 40); }
  };

  TEST(PooledBlocks, BlocksReleasedAfterTheThreadsCacheWentBackAreNotLost)
  {
    const std::ptrdiff_t before = LiveAllocations();
    OnNewThread([] {
      // Constructed before the cache arranges its own end, so destroyed
      // after it.
      thread_local LateHolder holder;
      holder.block = AllocatePooledBlock(40);
      ReleasePooledBlock(AllocatePooledBlock(40), 40);
    });
    EXPECT_EQ(before, LiveAllocations());
  }

#if defined(__SANITIZE_ADDRESS__)
  TEST(PooledBlocksDeathTest, UseOfACachedBlockIsReported)
  {
    EXPECT_DEATH(
        {
          auto *const block = static_cast<char *>(AllocatePooledBlock(40));
          ReleasePooledBlock(block, 40);
          *static_cast<volatile char *>(block + 8) = 1;
        },
        "use-after-poison");
  }
#endif
}
