#include <gtest/gtest.h>

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
#include <tova/plugin/WeakPluginPtr.hpp>

using tova::plugin::Loader;
using tova::plugin::PluginPtr;
using tova::test::IsLoaded;
using tova::test::StderrOf;

namespace
{
  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;
  const std::string observed = TOVA_FIXTURE_OBSERVED;

  /// A fresh loader with the observed-plugin library loaded.
  std::unique_ptr<Loader> LoaderOfObserved()
  {
    auto loader = std::make_unique<Loader>();
    loader->LoadLib(observed);
    return loader;
  }

  /// Makes the plugin's destructor record whether its own library was
  /// still loaded while it ran.
  void WatchDestruction(const PluginPtr &plugin, int &destructions,
                        bool &loadedDuringDestruction)
  {
    plugin->QueryInterface<fixture::Observed>()->OnDestruction([&] {
      ++destructions;
      loadedDuringDestruction = IsLoaded(observed);
    });
  }
}

TEST(Instantiate, ByNameOrAliasGivesAnInstanceToQueryByType)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  for (const std::string name : {"fixture::Circle", "circle", "round"})
  {
    SCOPED_TRACE(name);
    const PluginPtr circle = loader.Instantiate(name);
    ASSERT_FALSE(circle.IsEmpty());
    EXPECT_EQ("fixture::Circle", *circle->Name());

    // Shape is the second base: the cast must move the address.
    auto *const shape = circle->QueryInterface<fixture::Shape>();
    auto *const printable = circle->QueryInterface<fixture::Printable>();
    ASSERT_NE(nullptr, shape);
    ASSERT_NE(nullptr, printable);
    EXPECT_NE(static_cast<void *>(shape), static_cast<void *>(printable));
    EXPECT_DOUBLE_EQ(3.0, shape->Area());
    EXPECT_EQ("circle", printable->Print());
    EXPECT_TRUE(circle->HasInterface("fixture::Printable"));
    EXPECT_TRUE(circle->HasInterface<fixture::Shape>());
    EXPECT_EQ(nullptr, circle->QueryInterface<fixture::Observed>());
  }
}

TEST(Instantiate, EveryCallMakesANewInstance)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  const PluginPtr first = loader.Instantiate("square");
  const PluginPtr second = loader.Instantiate("square");
  EXPECT_NE(first, second);
  EXPECT_NE(first->QueryInterface<fixture::Shape>(),
            second->QueryInterface<fixture::Shape>());
}

TEST(Instantiate, ANameThatResolvesNowhereGivesAnEmptyHandleAndOneMessage)
{
  Loader loader;
  loader.LoadLib(twoPlugins);

  EXPECT_EQ("[tova::plugin::Loader::LookupPlugin] Failed to get info for "
            "[fixture::Hexagon]. Could not find a plugin with that name or "
            "alias.\n",
            StderrOf([&] {
              EXPECT_EQ("", loader.LookupPlugin("fixture::Hexagon"));
            }));

  PluginPtr nothing;
  EXPECT_EQ("", StderrOf([&] { nothing = loader.Instantiate("fixture::Hexagon"); }));
  EXPECT_TRUE(nothing.IsEmpty());
  EXPECT_FALSE(nothing);
  EXPECT_EQ(nullptr, nothing->QueryInterface<fixture::Shape>());

  EXPECT_EQ("", StderrOf([&] { EXPECT_TRUE(loader.Instantiate("").IsEmpty()); }));
}

TEST(InstanceLifetime, DeleterRunsOnceWhileTheLibraryIsStillLoaded)
{
  enum class Order { InstanceFirst, LoaderFirst, InstanceOnAnotherThread };
  for (Order order : {Order::InstanceFirst, Order::LoaderFirst,
                      Order::InstanceOnAnotherThread})
  {
    SCOPED_TRACE(static_cast<int>(order));
    int destructions = 0;
    bool loadedDuringDestruction = false;
    auto loader = LoaderOfObserved();
    auto plugin = std::make_unique<PluginPtr>(loader->Instantiate("watched"));
    WatchDestruction(*plugin, destructions, loadedDuringDestruction);

    if (order == Order::LoaderFirst)
    {
      loader.reset();
      EXPECT_TRUE(IsLoaded(observed));
      plugin.reset();
    }
    else if (order == Order::InstanceOnAnotherThread)
    {
      loader.reset();
      std::thread([&] { plugin.reset(); }).join();
    }
    else
    {
      plugin.reset();
      EXPECT_TRUE(IsLoaded(observed));
      loader.reset();
    }
    EXPECT_EQ(1, destructions);
    EXPECT_TRUE(loadedDuringDestruction);
    EXPECT_FALSE(IsLoaded(observed));
  }
}

TEST(InstanceLifetime, AnyOneOwnerAloneKeepsTheLibraryOpen)
{
  using Keeper = std::shared_ptr<void>;
  // Each way of holding on to the instance, on its own.
  const std::vector<std::pair<const char *, Keeper (*)(const PluginPtr &)>>
      keepers = {
          {"copy of the handle",
           [](const PluginPtr &plugin) -> Keeper {
             return std::make_shared<PluginPtr>(plugin);
           }},
          {"shared interface pointer",
           [](const PluginPtr &plugin) -> Keeper {
             return plugin->QueryInterfaceSharedPtr<fixture::Observed>();
           }},
          {"handle from the plugin itself",
           [](const PluginPtr &plugin) -> Keeper {
             auto *self = plugin->QueryInterface<
                 tova::plugin::EnablePluginFromThis>();
             return std::make_shared<PluginPtr>(self->PluginFromThis());
           }},
          {"instance pointer from the plugin itself",
           [](const PluginPtr &plugin) -> Keeper {
             return plugin
                 ->QueryInterface<tova::plugin::EnablePluginFromThis>()
                 ->PluginInstancePtrFromThis();
           }},
      };

  for (const auto &[what, keep] : keepers)
  {
    SCOPED_TRACE(what);
    int destructions = 0;
    bool loadedDuringDestruction = false;
    Keeper keeper;
    {
      auto loader = LoaderOfObserved();
      const PluginPtr plugin = loader->Instantiate("watched");
      WatchDestruction(plugin, destructions, loadedDuringDestruction);
      keeper = keep(plugin);
      ASSERT_TRUE(keeper);
    }
    EXPECT_EQ(0, destructions);
    EXPECT_TRUE(IsLoaded(observed));
    keeper.reset();
    EXPECT_EQ(1, destructions);
    EXPECT_TRUE(loadedDuringDestruction);
    EXPECT_FALSE(IsLoaded(observed));
  }
}

// Pointing the last owner at something else releases the instance and its
// record; the record's function objects are code of the library that the
// instance's release closes, so the record must go first.
TEST(InstanceLifetime, RetargetingTheLastOwnerReleasesTheRecordFirst)
{
  const std::vector<std::pair<const char *, void (*)(const PluginPtr &)>>
      retargets = {
          {"create", [](const PluginPtr &plugin) {
             plugin->PrivateCreateStaticPluginInstance(nullptr);
           }},
          {"copy of a plugin", [](const PluginPtr &plugin) {
             plugin->PrivateCopyPluginInstance(tova::plugin::Plugin());
           }},
          {"copy of an instance", [](const PluginPtr &plugin) {
             plugin->PrivateCopyPluginInstance(nullptr, nullptr);
           }},
      };
  for (const auto &[what, retarget] : retargets)
  {
    SCOPED_TRACE(what);
    PluginPtr plugin;
    {
      Loader loader;
      loader.LoadLib(twoPlugins);
      plugin = loader.Instantiate("circle");
    }
    retarget(plugin);
    EXPECT_TRUE(plugin.IsEmpty());
    EXPECT_FALSE(IsLoaded(twoPlugins));
  }
}

TEST(InstanceLifetime, SelfReferenceIsWiredAndNeverKeepsThePluginAlive)
{
  auto loader = LoaderOfObserved();
  tova::plugin::WeakPluginPtr weak;
  {
    const PluginPtr plugin = loader->Instantiate("fixture::Watched");
    auto *const self =
        plugin->QueryInterface<tova::plugin::EnablePluginFromThis>();
    ASSERT_NE(nullptr, self);
    const PluginPtr fromThis = self->PluginFromThis();
    EXPECT_EQ(plugin, fromThis);
    EXPECT_EQ(plugin->QueryInterface<fixture::Observed>(),
              fromThis->QueryInterface<fixture::Observed>());
    weak = plugin;
  }
  EXPECT_TRUE(weak.IsExpired());
  EXPECT_TRUE(weak.Lock().IsEmpty());
}
