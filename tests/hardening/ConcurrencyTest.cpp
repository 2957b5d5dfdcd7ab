// Owners of one instance released on many threads at once, weak handles
// locked while the last owner goes, and loaders working side by side. Run
// under ThreadSanitizer as well as under the address sanitizer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/WeakPluginPtr.hpp>
#include <tova/plugin/detail/InfoBuilder.hpp>

namespace
{
  using tova::plugin::Info;
  using tova::plugin::Loader;
  using tova::plugin::Plugin;
  using tova::plugin::PluginPtr;
  using tova::plugin::WeakPluginPtr;
  using tova::test::IsLoaded;
  using tova::test::StderrOf;

  constexpr int threadCount = 8;

  /// Holds threads back until all of them have arrived, so that their work
  /// overlaps.
  class StartLine
  {
  public:
    explicit StartLine(int runners)
      : waiting(runners)
    {
    }

    void Arrive()
    {
      --this->waiting;
      while (this->waiting > 0)
        std::this_thread::yield();
    }

  private:
    std::atomic<int> waiting;
  };

  /// A plugin object of this program that reports its destruction, like
  /// the library fixture fixture::Watched.
  class Watched : public fixture::Observed
  {
  public:
    ~Watched() override { this->callback(); }

    void OnDestruction(std::function<void()> newCallback) override
    {
      this->callback = std::move(newCallback);
    }

  private:
    std::function<void()> callback = [] {};
  };

  /// What the plugin object and its stand-in library report.
  struct Lifetime
  {
    std::atomic<int> destructions{0};
    std::atomic<int> libraryReleases{0};
    std::atomic<int> destructionsAtRelease{-1};
  };

  /// A new instance of Watched that holds a stand-in library handle, whose
  /// release `lifetime` counts.
  PluginPtr MakeWatched(Lifetime &lifetime)
  {
    static const auto info = std::make_shared<const Info>(
        tova::plugin::detail::registration::MakeInfo<Watched,
                                                     fixture::Observed>());
    const std::shared_ptr<void> library(new int(0), [&lifetime](void *handle) {
      lifetime.destructionsAtRelease = lifetime.destructions.load();
      ++lifetime.libraryReleases;
      delete static_cast<int *>(handle);
    });
    auto plugin = std::make_unique<Plugin>();
    plugin->PrivateCreatePluginInstance(info, library);
    PluginPtr handle(std::move(plugin));
    handle->QueryInterface<fixture::Observed>()->OnDestruction(
        [&lifetime] { ++lifetime.destructions; });
    return handle;
  }

  /// Anything that keeps an instance alive or observes it.
  using Owner = std::variant<PluginPtr, std::shared_ptr<fixture::Observed>,
                             WeakPluginPtr>;

  std::vector<Owner> OwnersOf(const PluginPtr &handle)
  {
    std::vector<Owner> owners;
    for (int copy = 0; copy < 2; ++copy)
    {
      owners.emplace_back(handle);
      owners.emplace_back(handle->QueryInterfaceSharedPtr<fixture::Observed>());
      owners.emplace_back(WeakPluginPtr(handle));
    }
    return owners;
  }

  /// Gives each thread copies, shared interface pointers and weak handles
  /// of `handle`, drops `handle` itself while the threads drop theirs in
  /// random order, locking each weak handle on the way. Returns how often
  /// a lock found an instance whose destruction had begun.
  int RaceOwners(PluginPtr handle, const std::atomic<int> &destructions,
                 unsigned seed)
  {
    std::vector<std::vector<Owner>> shares(threadCount);
    for (auto &share : shares)
      share = OwnersOf(handle);

    std::atomic<int> lockedTooLate{0};
    StartLine start(threadCount + 1);
    std::vector<std::thread> threads;
    for (int index = 0; index < threadCount; ++index)
    {
      threads.emplace_back([&, index, owners = std::move(shares[index])]() mutable {
        std::mt19937 random(seed * threadCount + index);
        std::shuffle(owners.begin(), owners.end(), random);
        start.Arrive();
        for (; !owners.empty(); owners.pop_back())
        {
          const auto *weak = std::get_if<WeakPluginPtr>(&owners.back());
          if (!weak)
            continue;
          const PluginPtr locked = weak->Lock();
          if (!locked.IsEmpty() && destructions != 0)
            ++lockedTooLate;
        }
      });
    }
    start.Arrive();
    handle = PluginPtr();
    for (std::thread &thread : threads)
      thread.join();
    return lockedTooLate;
  }
}

TEST(ConcurrentRelease, TheLastOwnerDestroysOnceThenReleasesTheLibraryOnce)
{
  for (unsigned round = 0; round < 200; ++round)
  {
    Lifetime lifetime;
    EXPECT_EQ(0, RaceOwners(MakeWatched(lifetime), lifetime.destructions,
                            round));
    ASSERT_EQ(1, lifetime.destructions) << "round " << round;
    ASSERT_EQ(1, lifetime.libraryReleases) << "round " << round;
    ASSERT_EQ(1, lifetime.destructionsAtRelease) << "round " << round;
  }
}

namespace
{
  /// Expects `written` to consist of whole copies of `messages` only, in
  /// any order: a message cut by another thread's leaves a remnant.
  void ExpectOnlyWholeMessages(const std::string &written,
                               const std::vector<std::string> &messages)
  {
    std::string rest = written;
    for (const std::string &message : messages)
    {
      for (auto found = rest.find(message); found != std::string::npos;
           found = rest.find(message))
        rest.erase(found, message.size());
    }
    EXPECT_EQ("", rest);
  }

  /// What a weak handle locked after the last handle (and with it the
  /// record) is gone, while a shared interface pointer still holds the
  /// instance, writes.
  const std::string copyMessage =
      "[Plugin::Implementation::Copy(_info, _instance)] A Plugin has been "
      "copied from its info and instance, but the info was null even "
      "though the instance was valid. This should never happen! Please "
      "report this bug!\n";
}

TEST(ConcurrentRelease, ALibraryClosesOnlyAfterItsLastInstanceIsDestroyed)
{
  const std::string path = TOVA_FIXTURE_OBSERVED;
  for (unsigned round = 0; round < 50; ++round)
  {
    Loader loader;
    ASSERT_EQ(1u, loader.LoadLib(path).size());
    PluginPtr handle = loader.Instantiate("watched");
    std::atomic<int> destructions{0};
    std::atomic<bool> loadedWhenDestroyed{false};
    handle->QueryInterface<fixture::Observed>()->OnDestruction([&] {
      loadedWhenDestroyed = IsLoaded(path);
      ++destructions;
    });
    // From here on only the instance holds the library, and only the
    // handles hold the record.
    ASSERT_TRUE(loader.ForgetLibrary(path));

    const std::string messages = StderrOf([&] {
      EXPECT_EQ(0, RaceOwners(std::move(handle), destructions, round));
    });
    ExpectOnlyWholeMessages(messages, {copyMessage});
    ASSERT_EQ(1, destructions) << "round " << round;
    ASSERT_TRUE(loadedWhenDestroyed) << "round " << round;
    ASSERT_FALSE(IsLoaded(path)) << "round " << round;
  }
}

// Loader::Create's instances: made on many threads from one loader, and
// their copies dropped on many threads once only they hold the library.
TEST(ConcurrentRelease, CreatedInstancesAreDestroyedOnceBeforeTheirLibraryCloses)
{
  const std::string path = TOVA_FIXTURE_PLAIN;
  for (unsigned round = 0; round < 50; ++round)
  {
    Loader loader;
    ASSERT_EQ(1u, loader.LoadLib(path).size());
    std::vector<std::shared_ptr<fixture::Observed>> instances(threadCount);
    {
      StartLine start(threadCount);
      std::vector<std::thread> makers;
      for (auto &instance : instances)
        makers.emplace_back([&] {
          start.Arrive();
          instance = loader.Create<fixture::Observed>("plain");
        });
      for (std::thread &maker : makers)
        maker.join();
    }
    std::atomic<int> destructions{0};
    std::atomic<int> loadedWhenDestroyed{0};
    for (const auto &instance : instances)
    {
      ASSERT_NE(nullptr, instance);
      instance->OnDestruction([&] {
        loadedWhenDestroyed += IsLoaded(path) ? 1 : 0;
        ++destructions;
      });
    }
    ASSERT_TRUE(loader.ForgetLibrary(path));

    StartLine start(threadCount + 1);
    std::vector<std::thread> droppers;
    for (int index = 0; index < threadCount; ++index)
      droppers.emplace_back([&, index, copies = instances]() mutable {
        std::shuffle(copies.begin(), copies.end(),
                     std::mt19937(round * threadCount + index));
        start.Arrive();
        copies.clear();
      });
    start.Arrive();
    instances.clear();
    for (std::thread &dropper : droppers)
      dropper.join();
    ASSERT_EQ(threadCount, destructions) << "round " << round;
    ASSERT_EQ(threadCount, loadedWhenDestroyed) << "round " << round;
    ASSERT_FALSE(IsLoaded(path)) << "round " << round;
  }
}

TEST(WeakLockRace, LockingWhileTheLastOwnerGoesNeverResurrects)
{
  constexpr int maxLocks = 200;
  for (unsigned round = 0; round < 200; ++round)
  {
    Lifetime lifetime;
    PluginPtr handle = MakeWatched(lifetime);
    std::vector<WeakPluginPtr> weaks(threadCount, WeakPluginPtr(handle));
    std::atomic<int> faults{0};

    StartLine start(threadCount + 1);
    std::vector<std::thread> threads;
    for (WeakPluginPtr &weak : weaks)
    {
      threads.emplace_back([&] {
        start.Arrive();
        for (int attempt = 0; attempt < maxLocks; ++attempt)
        {
          const PluginPtr locked = weak.Lock();
          if (locked.IsEmpty())
          {
            // Once gone, always gone.
            if (!weak.IsExpired() || !weak.Lock().IsEmpty())
              ++faults;
            return;
          }
          if (lifetime.destructions != 0 ||
              !locked->QueryInterface<fixture::Observed>())
            ++faults;
        }
      });
    }
    start.Arrive();
    handle = PluginPtr();
    for (std::thread &thread : threads)
      thread.join();

    ASSERT_EQ(0, faults) << "round " << round;
    ASSERT_EQ(1, lifetime.destructions) << "round " << round;
    ASSERT_EQ(1, lifetime.libraryReleases) << "round " << round;
    for (const WeakPluginPtr &weak : weaks)
      ASSERT_TRUE(weak.IsExpired());
  }
}

TEST(TwoLoaders, LoadAndForgetTheSameLibraryOnTwoThreads)
{
  const std::string path = TOVA_FIXTURE_TWO_PLUGINS;
  const Loader::PluginNameSet names{"fixture::Circle", "fixture::Square"};
  constexpr int cycles = 300;
  std::atomic<int> faults{0};

  StartLine start(2);
  const auto work = [&] {
    Loader loader;
    start.Arrive();
    for (int cycle = 0; cycle < cycles; ++cycle)
    {
      if (loader.LoadLib(path) != names)
        ++faults;
      const PluginPtr circle = loader.Instantiate("circle");
      const auto *shape =
          circle.IsEmpty() ? nullptr : circle->QueryInterface<fixture::Shape>();
      if (!shape || shape->Area() != 3.0)
        ++faults;
      if (!loader.ForgetLibrary(path))
        ++faults;
    }
  };
  std::thread first(work);
  std::thread second(work);
  first.join();
  second.join();

  EXPECT_EQ(0, faults);
  EXPECT_FALSE(IsLoaded(path));
}

TEST(Messages, ThreadsWritingAtOnceNeverInterleaveTheirMessages)
{
  const Loader loader;
  constexpr int messagesPerThread = 100;
  StartLine start(threadCount);
  std::vector<std::thread> threads;
  const std::string messages = StderrOf([&] {
    for (int index = 0; index < threadCount; ++index)
    {
      threads.emplace_back([&] {
        start.Arrive();
        for (int message = 0; message < messagesPerThread; ++message)
        {
          loader.LookupPlugin("unknown");
          tova::plugin::DemangleSymbol("not a symbol");
        }
      });
    }
    for (std::thread &thread : threads)
      thread.join();
  });
  ExpectOnlyWholeMessages(
      messages,
      {"[tova::plugin::Loader::LookupPlugin] Failed to get info for "
       "[unknown]. Could not find a plugin with that name or alias.\n",
       "[Demangle] Failed to demangle the symbol name [not a symbol]. "
       "Error code: -2\n"});
}
