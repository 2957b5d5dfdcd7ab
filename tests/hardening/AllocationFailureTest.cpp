// Every allocation of loading a library, of instantiating a plugin and of a
// factory's Construct fails in turn, the first, then the second, and so on
// until the operation gets through with all of them. After each failure
// nothing leaks, no library stays open, the loader works on, and the
// dynamic loader's lock is free for other threads.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <factory_fixture/Greeting.hpp>
#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Factory.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/detail/TypeName.hpp>

#include "FailingAllocator.hpp"

namespace
{
  using tova::plugin::EnablePluginFromThis;
  using tova::plugin::Loader;
  using tova::plugin::PluginPtr;
  using tova::test::AllocationFailure;
  using tova::test::IsLoaded;
  using tova::test::LiveAllocations;
  using tova::test::StderrOf;

  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;
  const Loader::PluginNameSet twoPluginNames{"fixture::Circle",
                                             "fixture::Square"};

  /// What became of an operation run with one allocation failing.
  struct Outcome
  {
    bool injected;
    bool threw;
  };

  /// Runs `operation` with its `failAt`-th allocation failing.
  template <class Operation>
  Outcome RunFailingAt(std::size_t failAt, Operation operation)
  {
    AllocationFailure failure(failAt);
    try
    {
      operation();
    }
    catch (const std::bad_alloc &)
    {
      return {failure.Happened(), true};
    }
    return {failure.Happened(), false};
  }

  /// Calls `attempt(failAt)` for failAt = 1, 2, ... until an attempt in
  /// which no failure was injected, that is until the operation completed
  /// with all its allocations. `attempt` returns whether one was injected.
  /// After each, the blocks allocated before it are all that is left.
  /// Returns the number of allocations that failed in turn.
  ///
  /// Each attempt runs on a thread of its own, whose cache of small blocks
  /// starts empty: every block then comes from the global operator new,
  /// where the failure is injected, and the thread's end gives the blocks
  /// that it cached back before they are counted.
  template <class Attempt>
  std::size_t FailEveryAllocation(Attempt attempt)
  {
    for (std::size_t failAt = 1;; ++failAt)
    {
      bool injected = false;
      std::thread([&] { injected = attempt(failAt); }).join();
      if (!injected)
        return failAt - 1;
    }
  }

  /// Ends the program, rather than letting it hang, when another thread
  /// cannot open a library: then the dynamic loader's lock is held for good.
  void ExpectOtherThreadCanOpen(const std::string &path)
  {
    std::promise<void> opened;
    std::future<void> done = opened.get_future();
    std::thread opener([&] {
      void *const handle = dlopen(path.c_str(), RTLD_LAZY);
      if (handle)
        dlclose(handle);
      opened.set_value();
    });
    if (done.wait_for(std::chrono::minutes(1)) != std::future_status::ready)
    {
      std::fprintf(stderr, "dlopen on another thread is blocked: the "
                           "dynamic loader's lock is held for good\n");
      std::_Exit(EXIT_FAILURE);
    }
    opener.join();
  }

  /// Every registered plugin can be instantiated, so each record has its
  /// library; nothing is written.
  void ExpectEveryPluginInstantiable(const Loader &loader)
  {
    EXPECT_EQ("", StderrOf([&] {
                for (const std::string &name : loader.AllPlugins())
                  EXPECT_FALSE(loader.Instantiate(name).IsEmpty()) << name;
              }));
  }

  /// A full load of the two-plugin library, then forgetting it: only what
  /// the loader held before stays.
  void ExpectUsable(Loader &loader)
  {
    Loader::NameSet expected = loader.AllPlugins();
    EXPECT_EQ(twoPluginNames, loader.LoadLib(twoPlugins));
    ExpectEveryPluginInstantiable(loader);
    EXPECT_TRUE(loader.ForgetLibrary(twoPlugins));
    for (const std::string &name : twoPluginNames)
      expected.erase(name);
    EXPECT_EQ(expected, loader.AllPlugins());
    EXPECT_FALSE(IsLoaded(twoPlugins));
  }
}

// The libraries that the loader holds before the failing load: none,
// another one, or the same one, whose start-up then does not run again.
class AllocationFailureInLoadLib
  : public testing::TestWithParam<std::vector<std::string>>
{
};

TEST_P(AllocationFailureInLoadLib, LeavesTheLoaderAsItWasOrLoadsFully)
{
  {
    Loader warmUp;
    ExpectUsable(warmUp);
  }
  const std::string failedMessage =
      "The library [" + twoPlugins + "] failed to provide tova::plugin Info "
      "for unknown reasons. Please report this error as a bug!\n";
  const std::vector<std::string> &preloaded = GetParam();
  const bool heldBefore = preloaded.size() == 1 && preloaded[0] == twoPlugins;

  const std::size_t failures = FailEveryAllocation([&](std::size_t failAt) {
    Outcome outcome{};
    {
      Loader loader;
      for (const std::string &path : preloaded)
        loader.LoadLib(path);
      const Loader::NameSet pluginsBefore = loader.AllPlugins();
      Loader::PluginNameSet names;
      const std::string messages = StderrOf([&] {
        outcome =
            RunFailingAt(failAt, [&] { names = loader.LoadLib(twoPlugins); });
      });
      EXPECT_TRUE(!outcome.threw || outcome.injected) << failAt;
      if (outcome.threw || names.empty())
      {
        // A failure inside the library's start-up is reported as a library
        // that failed to provide its records.
        EXPECT_EQ(outcome.threw ? "" : failedMessage, messages) << failAt;
        EXPECT_TRUE(names.empty()) << failAt;
        EXPECT_EQ(pluginsBefore, loader.AllPlugins()) << failAt;
        EXPECT_EQ(heldBefore, IsLoaded(twoPlugins)) << failAt;
      }
      else
      {
        EXPECT_EQ(twoPluginNames, names) << failAt;
        EXPECT_EQ("", messages) << failAt;
      }
      ExpectEveryPluginInstantiable(loader);
      ExpectUsable(loader);
    }
    EXPECT_FALSE(IsLoaded(twoPlugins)) << failAt;
    return outcome.injected;
  });
  EXPECT_LT(0u, failures);
  ExpectOtherThreadCanOpen(TOVA_FIXTURE_NO_PLUGINS);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, AllocationFailureInLoadLib,
    testing::Values(std::vector<std::string>{},
                    std::vector<std::string>{TOVA_FIXTURE_ONE_PLUGIN},
                    std::vector<std::string>{twoPlugins}));

// One plugin with two interfaces, and one that gets a reference to itself.
class AllocationFailureInInstantiate
  : public testing::TestWithParam<std::vector<std::string>>
{
};

TEST_P(AllocationFailureInInstantiate, LosesNoObjectAndNoLibrary)
{
  const std::string &library = GetParam().at(0);
  const std::string &name = GetParam().at(1);
  {
    Loader loader;
    ASSERT_FALSE(loader.LoadLib(library).empty());
    ASSERT_FALSE(loader.Instantiate(name).IsEmpty());

    const std::size_t failures = FailEveryAllocation([&](std::size_t failAt) {
      Outcome outcome{};
      {
        PluginPtr plugin;
        EXPECT_EQ("", StderrOf([&] {
                    outcome = RunFailingAt(
                        failAt, [&] { plugin = loader.Instantiate(name); });
                  }))
            << failAt;
        EXPECT_TRUE(!outcome.threw || outcome.injected) << failAt;
        if (!outcome.threw)
        {
          EXPECT_FALSE(plugin.IsEmpty()) << failAt;
          const auto *self = plugin->QueryInterface<EnablePluginFromThis>();
          EXPECT_TRUE(!self || !self->PluginFromThis().IsEmpty()) << failAt;
        }
      }
      EXPECT_FALSE(loader.Instantiate(name).IsEmpty()) << failAt;
      return outcome.injected;
    });
    EXPECT_LT(0u, failures);
  }
  // An instance record lost on the way would hold the library open.
  EXPECT_FALSE(IsLoaded(library));
  ExpectOtherThreadCanOpen(TOVA_FIXTURE_NO_PLUGINS);
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, AllocationFailureInInstantiate,
    testing::Values(std::vector<std::string>{twoPlugins, "circle"},
                    std::vector<std::string>{TOVA_FIXTURE_OBSERVED,
                                             "watched"}));

// The short path of Create, and its full one for a plugin that gets a
// reference to itself: each makes a usable instance or fails whole.
TEST(AllocationFailure, InCreateLosesNoObjectAndNoLibrary)
{
  using Attempt = std::function<bool(const Loader &)>;
  const std::vector<std::pair<std::string, Attempt>> cases = {
      {twoPlugins,
       [](const Loader &loader) {
         const auto shape = loader.Create<fixture::Shape>("circle");
         return shape && shape->Area() == 3.0;
       }},
      {TOVA_FIXTURE_OBSERVED,
       [](const Loader &loader) {
         const auto watched = loader.Create<fixture::Observed>("watched");
         auto *const self = dynamic_cast<EnablePluginFromThis *>(watched.get());
         return self && !self->PluginFromThis().IsEmpty();
       }},
  };
  for (const auto &[library, attempt] : cases)
  {
    SCOPED_TRACE(library);
    {
      Loader loader;
      ASSERT_FALSE(loader.LoadLib(library).empty());
      ASSERT_TRUE(attempt(loader));

      const std::size_t failures =
          FailEveryAllocation([&, &attempt = attempt](std::size_t failAt) {
            bool usable = false;
            Outcome outcome{};
            EXPECT_EQ("", StderrOf([&] {
                        outcome = RunFailingAt(
                            failAt, [&] { usable = attempt(loader); });
                      }))
                << failAt;
            EXPECT_TRUE(outcome.threw ? outcome.injected : usable) << failAt;
            return outcome.injected;
          });
      EXPECT_LT(0u, failures);
    }
    EXPECT_FALSE(IsLoaded(library));
  }
  ExpectOtherThreadCanOpen(TOVA_FIXTURE_NO_PLUGINS);
}

// The greeting factories: one product copies its argument, the other
// allocates inside its constructor, after its own memory exists.
TEST(AllocationFailure, InConstructLosesNoProduct)
{
  using factory_fixture::GreetingFactory;
  using factory_fixture::RepeatingFactory;
  const std::string factories = TOVA_FACTORY_GREETINGS;
  // Long enough that every copy of it allocates.
  const std::string word(40, 'x');
  {
    Loader loader;
    ASSERT_FALSE(loader.LoadLib(factories).empty());
    const PluginPtr hello = loader.Instantiate("hello");
    const Loader::PluginNameSet repeating = loader.PluginsImplementing(
        tova::plugin::detail::TypeName<RepeatingFactory>(), false);
    ASSERT_EQ(1u, repeating.size());
    const PluginPtr echo = loader.Instantiate(*repeating.begin());
    GreetingFactory *const helloFactory =
        hello->QueryInterface<GreetingFactory>();
    RepeatingFactory *const echoFactory =
        echo->QueryInterface<RepeatingFactory>();
    ASSERT_NE(nullptr, helloFactory);
    ASSERT_NE(nullptr, echoFactory);
    helloFactory->Construct(word);
    tova::plugin::CleanupLostProducts();

    const std::size_t failures = FailEveryAllocation([&](std::size_t failAt) {
      Outcome outcome{};
      {
        GreetingFactory::ProductPtr greeting;
        RepeatingFactory::ProductPtr repeated;
        outcome = RunFailingAt(failAt, [&] {
          greeting = helloFactory->Construct(word);
          repeated = echoFactory->Construct(word, 3);
        });
        EXPECT_TRUE(!outcome.threw || outcome.injected) << failAt;
        if (!outcome.threw)
        {
          EXPECT_EQ("Hello, " + word + "!", greeting->Text()) << failAt;
          EXPECT_EQ(word + " " + word + " " + word, repeated->Text())
              << failAt;
        }
      }
      tova::plugin::CleanupLostProducts();
      EXPECT_EQ(0u, tova::plugin::LostProductCount()) << failAt;
      return outcome.injected;
    });
    EXPECT_LT(0u, failures);
  }
  EXPECT_FALSE(IsLoaded(factories));
  ExpectOtherThreadCanOpen(TOVA_FIXTURE_NO_PLUGINS);
}
