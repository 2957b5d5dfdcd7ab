#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <string>
#include <thread>

#include <fixture/Shape.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Factory.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/WeakPluginPtr.hpp>
#include <unloading_fixture/Interfaces.hpp>

using tova::plugin::CleanupLostProducts;
using tova::plugin::Loader;
using tova::plugin::PluginPtr;
using tova::test::IsLoaded;
using unloading_fixture::Disposable;
using unloading_fixture::DisposableFactory;
using unloading_fixture::Pokable;

namespace
{
  const std::string selfKeeping = TOVA_UNLOADING_SELF_KEEPING;
  const std::string callsBack = TOVA_UNLOADING_CALLS_BACK;
  const std::string onePlugin = TOVA_FIXTURE_ONE_PLUGIN;
  const std::string plain = TOVA_UNLOADING_PLAIN;

  /// An instance of the self-keeping plugin that nothing but the returned
  /// handle keeps loaded: the loader has let go of its library.
  PluginPtr InstanceOnlyItselfKeeps(bool destroyLoader)
  {
    auto loader = std::make_unique<Loader>();
    EXPECT_FALSE(loader->LoadLib(selfKeeping).empty());
    PluginPtr plugin = loader->Instantiate("unloading_fixture::SelfKeeping");
    if (!destroyLoader)
    {
      EXPECT_TRUE(loader->ForgetLibrary(selfKeeping));
    }
    return plugin;
  }

  /// Pokes the plugin with a callback that drops the application's only
  /// handle, so that the plugin's own handle to itself is the last owner.
  void PokeDroppingTheLastHandle(PluginPtr &plugin)
  {
    Pokable *const pokable = plugin->QueryInterface<Pokable>();
    ASSERT_NE(nullptr, pokable);
    pokable->Poke([&plugin] { plugin = PluginPtr(); });
  }
}

TEST(UnloadingWhileItsCodeRuns, APluginHoldingItselfOutlivesTheLastHandle)
{
  for (const bool destroyLoader : {false, true})
  {
    SCOPED_TRACE(destroyLoader ? "loader destroyed" : "library forgotten");
    PluginPtr plugin = InstanceOnlyItselfKeeps(destroyLoader);
    PokeDroppingTheLastHandle(plugin);
    EXPECT_TRUE(plugin.IsEmpty());
    // The last owner went while the plugin's code ran: the library stays
    // until the next safe point, which closes it.
    EXPECT_TRUE(IsLoaded(selfKeeping));
    CleanupLostProducts();
    EXPECT_FALSE(IsLoaded(selfKeeping));
  }
}

TEST(UnloadingWhileItsCodeRuns, EverySafePointClosesWhatWasDeferred)
{
  const auto safePoints = {
      +[] { Loader().LoadLib(onePlugin); },
      +[] { Loader().ForgetLibrary(onePlugin); },
      +[] { Loader(); },
      +[] { CleanupLostProducts(); },
  };
  for (const auto safePoint : safePoints)
  {
    PluginPtr plugin = InstanceOnlyItselfKeeps(true);
    PokeDroppingTheLastHandle(plugin);
    ASSERT_TRUE(IsLoaded(selfKeeping));
    safePoint();
    EXPECT_FALSE(IsLoaded(selfKeeping));
  }
}

TEST(UnloadingWhileItsCodeRuns, AThreadThatEndsClosesWhatItDeferred)
{
  PluginPtr plugin = InstanceOnlyItselfKeeps(true);
  std::thread([&plugin] { PokeDroppingTheLastHandle(plugin); }).join();
  EXPECT_FALSE(IsLoaded(selfKeeping));
}

TEST(UnloadingWhileItsCodeRuns, AProductDestroyedByItsOwnCodeKeepsTheLibrary)
{
  Loader loader;
  ASSERT_FALSE(loader.LoadLib(selfKeeping).empty());
  std::unique_ptr<Disposable> product =
      loader.Instantiate("disposables")
          ->QueryInterface<DisposableFactory>()
          ->Construct();
  ASSERT_NE(nullptr, product);
  ASSERT_TRUE(loader.ForgetLibrary(selfKeeping));
  // Destroys the product, whose reference was the factory's last owner,
  // and releases it, all from code of the library.
  product->DisposeOf(product);
  EXPECT_EQ(nullptr, product);
  EXPECT_TRUE(IsLoaded(selfKeeping));
  CleanupLostProducts();
  EXPECT_FALSE(IsLoaded(selfKeeping));
}

TEST(UnloadingWhileItsCodeRuns, AnInstanceFromCreateDroppedByItsOwnCodeKeepsTheLibrary)
{
  std::shared_ptr<Pokable> instance;
  {
    Loader loader;
    ASSERT_FALSE(loader.LoadLib(plain).empty());
    instance = loader.Create<Pokable>("unloading_fixture::Plain");
  }
  ASSERT_NE(nullptr, instance);
  // The callback drops the last owner while the plugin's code runs.
  Pokable *const pokable = instance.get();
  pokable->Poke([&instance] { instance.reset(); });
  EXPECT_EQ(nullptr, instance);
  EXPECT_TRUE(IsLoaded(plain));
  CleanupLostProducts();
  EXPECT_FALSE(IsLoaded(plain));
}

TEST(UnloadingWhileItsCodeRuns, AReleaseByTheApplicationClosesAtOnce)
{
  PluginPtr plugin = InstanceOnlyItselfKeeps(false);
  ASSERT_TRUE(IsLoaded(selfKeeping));
  plugin = PluginPtr();
  EXPECT_FALSE(IsLoaded(selfKeeping));
}

namespace
{
  /// What a library's static destructor does with the loader that closes it.
  struct Reentry
  {
    Loader *loader = nullptr;
    Loader::PluginNameSet loaded;
    bool instantiated = false;
  };

  void LoadAndInstantiate(void *context)
  {
    auto &reentry = *static_cast<Reentry *>(context);
    reentry.loaded = reentry.loader->LoadLib(onePlugin);
    reentry.instantiated =
        !reentry.loader->Instantiate("fixture::Single").IsEmpty();
  }

  /// Has the loaded library `callsBack` run `LoadAndInstantiate` while it
  /// closes.
  void CallBackOnUnload(Reentry &reentry)
  {
    void *const handle = dlopen(callsBack.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(nullptr, handle);
    const auto onUnload = reinterpret_cast<unloading_fixture::OnUnloadFunction>(
        dlsym(handle, "FixtureOnUnload"));
    ASSERT_NE(nullptr, onUnload);
    onUnload(&LoadAndInstantiate, &reentry);
    dlclose(handle);
  }
}

TEST(ReentrantUnloading, ALibraryClosingCallsBackIntoItsLoader)
{
  using LetGo = void (*)(std::unique_ptr<Loader> &);
  const LetGo waysToLetGo[] = {
      [](std::unique_ptr<Loader> &loader) {
        EXPECT_TRUE(loader->ForgetLibrary(callsBack));
      },
      [](std::unique_ptr<Loader> &loader) {
        EXPECT_TRUE(loader->ForgetLibraryOfPlugin("fixture::Hexagon"));
      },
      [](std::unique_ptr<Loader> &loader) { loader.reset(); },
  };
  for (const LetGo letGo : waysToLetGo)
  {
    auto loader = std::make_unique<Loader>();
    Reentry reentry;
    reentry.loader = loader.get();
    ASSERT_EQ(Loader::PluginNameSet{"fixture::Hexagon"},
              loader->LoadLib(callsBack));
    CallBackOnUnload(reentry);
    letGo(loader);
    EXPECT_FALSE(IsLoaded(callsBack));
    EXPECT_EQ(Loader::PluginNameSet{"fixture::Single"}, reentry.loaded);
    EXPECT_TRUE(reentry.instantiated);
    if (loader)
    {
      EXPECT_EQ(Loader::NameSet{"fixture::Single"}, loader->AllPlugins());
      loader.reset();
    }
    EXPECT_FALSE(IsLoaded(onePlugin));
  }
}

// A weak handle locked after its instance went gives a handle that holds
// the description alone; the description's functions are code of the
// library, so the library stays loaded for as long as that handle lives.
TEST(DescriptionOnlyHandle, KeepsTheLibraryOfItsFunctions)
{
  tova::plugin::WeakPluginPtr weak;
  Loader loader;
  ASSERT_FALSE(loader.LoadLib(onePlugin).empty());
  weak = tova::plugin::WeakPluginPtr(loader.Instantiate("fixture::Single"));
  PluginPtr description = weak.Lock();
  ASSERT_NE(nullptr, description->Name());
  EXPECT_TRUE(loader.ForgetLibrary(onePlugin));
  EXPECT_TRUE(IsLoaded(onePlugin));
  description = PluginPtr();
  EXPECT_FALSE(IsLoaded(onePlugin));
}
