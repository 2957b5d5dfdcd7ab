#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Loader.hpp>

using tova::plugin::EnablePluginFromThis;
using tova::plugin::Loader;
using tova::test::IsLoaded;
using tova::test::StderrOf;

namespace
{
  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;
  const std::string observed = TOVA_FIXTURE_OBSERVED;
  const std::string plain = TOVA_FIXTURE_PLAIN;

  std::string NotImplementedText(const std::string &plugin,
                                 const std::string &interface)
  {
    return "[tova::plugin::Loader::Create] The plugin [" + plugin +
           "] does not implement the interface [" + interface + "].\n";
  }

  /// What a plugin's destructor saw while it ran.
  struct Destruction
  {
    int count = 0;
    bool libraryLoaded = false;
    std::thread::id thread;
  };

  void Watch(fixture::Observed &object, const std::string &library,
             Destruction &seen)
  {
    object.OnDestruction([&seen, library] {
      ++seen.count;
      seen.libraryLoaded = IsLoaded(library);
      seen.thread = std::this_thread::get_id();
    });
  }
}

TEST(Create, ByNameOrAliasGivesANewInstanceAsTheInterface)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  for (const std::string name : {"fixture::Circle", "circle", "round"})
  {
    SCOPED_TRACE(name);
    std::shared_ptr<fixture::Shape> first;
    std::shared_ptr<fixture::Printable> second;
    EXPECT_EQ("", StderrOf([&] {
                first = loader.Create<fixture::Shape>(name);
                second = loader.Create<fixture::Printable>(name);
              }));
    // Shape is the second base of Circle: the cast must move the address.
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_DOUBLE_EQ(3.0, first->Area());
    EXPECT_EQ("circle", second->Print());
    EXPECT_NE(static_cast<void *>(dynamic_cast<fixture::Printable *>(
                  first.get())),
              static_cast<void *>(second.get()));
    EXPECT_EQ(1, first.use_count());
  }
}

TEST(Create, ANameThatResolvesNowhereGivesNothingAndNoMessage)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  for (const std::string name : {"fixture::Hexagon", ""})
  {
    std::shared_ptr<fixture::Shape> nothing;
    EXPECT_EQ("", StderrOf([&] {
                nothing = loader.Create<fixture::Shape>(name);
              }));
    EXPECT_EQ(nullptr, nothing);
  }
}

TEST(Create, APluginWithoutTheInterfaceGivesNothingAndOneMessage)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  loader.LoadLib(observed);
  using Attempt = std::function<bool()>;
  // The second plugin wants a reference to itself, which takes another way.
  const std::vector<std::pair<std::string, Attempt>> cases = {
      {NotImplementedText("fixture::Circle", "fixture::Observed"),
       [&] { return !loader.Create<fixture::Observed>("round"); }},
      {NotImplementedText("fixture::Watched", "fixture::Shape"),
       [&] { return !loader.Create<fixture::Shape>("watched"); }},
  };
  for (const auto &[text, attempt] : cases)
  {
    SCOPED_TRACE(text);
    bool empty = false;
    EXPECT_EQ(text, StderrOf([&, &attempt = attempt] { empty = attempt(); }));
    EXPECT_TRUE(empty);
  }
  EXPECT_TRUE(IsLoaded(observed));
}

TEST(Create, DeleterRunsOnceOnTheReleasingThreadWhileTheLibraryIsLoaded)
{
  enum class Order
  {
    InstanceFirst,
    LoaderFirst,
    InstanceOnAnotherThread,
    LibraryForgottenFirst
  };
  for (const std::string &library : {plain, observed})
  {
    const std::string name = library == plain ? "plain" : "watched";
    for (Order order : {Order::InstanceFirst, Order::LoaderFirst,
                        Order::InstanceOnAnotherThread,
                        Order::LibraryForgottenFirst})
    {
      SCOPED_TRACE(name + " " + std::to_string(static_cast<int>(order)));
      Destruction seen;
      auto loader = std::make_unique<Loader>();
      ASSERT_FALSE(loader->LoadLib(library).empty());
      auto instance = loader->Create<fixture::Observed>(name);
      ASSERT_NE(nullptr, instance);
      Watch(*instance, library, seen);
      std::thread::id releasing = std::this_thread::get_id();

      if (order == Order::InstanceFirst)
      {
        instance.reset();
        EXPECT_TRUE(IsLoaded(library));
      }
      else if (order == Order::InstanceOnAnotherThread)
      {
        loader.reset();
        std::thread([&] {
          releasing = std::this_thread::get_id();
          instance.reset();
        }).join();
      }
      else
      {
        if (order == Order::LibraryForgottenFirst)
          EXPECT_TRUE(loader->ForgetLibrary(library));
        else
          loader.reset();
        EXPECT_TRUE(IsLoaded(library));
        EXPECT_EQ(0, seen.count);
        instance.reset();
      }
      loader.reset();
      EXPECT_EQ(1, seen.count);
      EXPECT_TRUE(seen.libraryLoaded);
      EXPECT_EQ(releasing, seen.thread);
      EXPECT_FALSE(IsLoaded(library));
    }
  }
}

TEST(Create, AWeakPointerLeftOverKeepsNeitherTheObjectNorTheLibrary)
{
  Destruction seen;
  std::weak_ptr<fixture::Observed> weak;
  {
    Loader loader;
    loader.LoadLib(plain);
    const auto instance = loader.Create<fixture::Observed>("plain");
    ASSERT_NE(nullptr, instance);
    Watch(*instance, plain, seen);
    weak = instance;
  }
  EXPECT_EQ(1, seen.count);
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(IsLoaded(plain));
}

TEST(Create, APluginThatWantsAReferenceToItselfGetsIt)
{
  Loader loader;
  loader.LoadLib(observed);
  const auto instance = loader.Create<fixture::Observed>("watched");
  ASSERT_NE(nullptr, instance);
  auto *const self = dynamic_cast<EnablePluginFromThis *>(instance.get());
  ASSERT_NE(nullptr, self);
  const tova::plugin::PluginPtr handle = self->PluginFromThis();
  ASSERT_FALSE(handle.IsEmpty());
  EXPECT_EQ(instance.get(), handle->QueryInterface<fixture::Observed>());
}
