// Nothing in this program may reach StaticRegistry::GetInstance() before
// the test below: no static registrations here.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <tova/plugin/StaticRegistry.hpp>

namespace
{
  using tova::plugin::StaticRegistry;

  TEST(StaticRegistryFirstUse, ConcurrentFirstCallsShareOneInstance)
  {
    constexpr int threadCount = 16;
    std::vector<StaticRegistry *> instances(threadCount, nullptr);
    std::atomic<int> waiting{0};
    std::atomic<bool> start{false};

    std::vector<std::thread> threads;
    for (int index = 0; index < threadCount; ++index)
      threads.emplace_back([&, index] {
        ++waiting;
        while (!start)
          std::this_thread::yield();
        instances[index] = &StaticRegistry::GetInstance();
      });
    while (waiting < threadCount)
      std::this_thread::yield();
    start = true;
    for (auto &thread : threads)
      thread.join();

    StaticRegistry *const instance = &StaticRegistry::GetInstance();
    for (StaticRegistry *seen : instances)
      EXPECT_EQ(seen, instance);
    EXPECT_TRUE(instance->AllPlugins().empty());
  }
}
