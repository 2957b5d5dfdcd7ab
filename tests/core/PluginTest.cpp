#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <tova/plugin/Plugin.hpp>

#include <support/CapturedStderr.hpp>

#include "TestSupport.hpp"

namespace tova::test
{
  namespace
  {
    using Events = std::vector<std::string>;

    const std::string kNoLibraryMessage =
        "Received Info for [Widget], but we were not provided a shared "
        "library handle. This should never happen! Please report this bug!\n";

    const std::string kNullInstanceMessage =
        "We have a nullptr plugin instance inside of a PluginWithDlHandle. "
        "This should not be possible! Please report this bug!\n";

    const std::string kCopyWithoutInfoMessage =
        "[Plugin::Implementation::Copy(_info, _instance)] A Plugin has been "
        "copied from its info and instance, but the info was null even "
        "though the instance was valid. This should never happen! Please "
        "report this bug!\n";

    std::string NoDeleterMessage(const void *address)
    {
      std::ostringstream message;
      message << "This plugin instance (" << address
              << ") was not given a deleter. This should never happen! "
              << "Please report this bug!\n";
      return message.str();
    }

    class PluginTest : public testing::Test
    {
    protected:
      /// Holds the events of every plugin object in the test; outlives them.
      Recorder recorder;
      std::shared_ptr<const Info> info =
          MakeRecordedInfo<Widget, InterfaceA, InterfaceB>(recorder);
      const std::string nameA = TypeName<InterfaceA>();
      const std::string nameB = TypeName<InterfaceB>();
      const std::string nameC = TypeName<InterfaceC>();

      int CastCalls() const
      {
        int calls = 0;
        for (const auto &entry : this->recorder.castCalls)
          calls += entry.second;
        return calls;
      }
    };
  }

  TEST_F(PluginTest, QueriesReturnWhatTheCastsComputedOnce)
  {
    Plugin plugin;
    plugin.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));

    Widget *const widget = ObjectOf<Widget>(plugin);
    ASSERT_NE(widget, nullptr);
    InterfaceA *const a = widget;
    InterfaceB *const b = widget;
    ASSERT_NE(static_cast<void *>(b), static_cast<void *>(widget));

    EXPECT_EQ(plugin.PrivateQueryInterface(nameA), a);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameB), b);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameB.c_str()), b);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameC), nullptr);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameC.c_str()), nullptr);
    EXPECT_EQ(plugin.QueryInterface<InterfaceA>(), a);
    EXPECT_EQ(plugin.QueryInterface<InterfaceB>(), b);
    EXPECT_EQ(plugin.QueryInterface<InterfaceB>()->ValueB(), 2);
    EXPECT_EQ(plugin.QueryInterface<InterfaceC>(), nullptr);

    EXPECT_EQ(recorder.factoryCalls, 1);
    EXPECT_EQ(recorder.castCalls[nameA], 1);
    EXPECT_EQ(recorder.castCalls[nameB], 1);
  }

  TEST_F(PluginTest, CopiesShareTheInstanceAndItsPointers)
  {
    Plugin copy;
    {
      Plugin original;
      original.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
      copy.PrivateCopyPluginInstance(original);

      EXPECT_EQ(copy.PrivateGetInstancePtr(), original.PrivateGetInstancePtr());
      EXPECT_EQ(copy.PrivateGetInfoPtr(), info);
      EXPECT_EQ(copy.QueryInterface<InterfaceB>(),
                original.QueryInterface<InterfaceB>());
      EXPECT_EQ(CastCalls(), 2);
    }
    EXPECT_EQ(recorder.events, Events{"factory"});
    EXPECT_NE(copy.QueryInterface<InterfaceA>(), nullptr);

    copy.PrivateCopyPluginInstance(Plugin());
    EXPECT_EQ(recorder.events,
              (Events{"factory", "deleter", "library released"}));
    EXPECT_EQ(copy.PrivateGetInstancePtr(), nullptr);
    EXPECT_EQ(copy.PrivateGetInfoPtr(), nullptr);
    EXPECT_EQ(copy.QueryInterface<InterfaceA>(), nullptr);
  }

  TEST_F(PluginTest, CopyFromItselfKeepsTheInstance)
  {
    Plugin plugin;
    plugin.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
    plugin.PrivateCopyPluginInstance(plugin);
    EXPECT_NE(plugin.QueryInterface<InterfaceA>(), nullptr);
    EXPECT_EQ(recorder.events, Events{"factory"});
  }

  TEST_F(PluginTest, DescriptionThenDeleterThenLibraryGo)
  {
    auto witnessed = std::make_shared<Info>(*info);
    witnessed->factory = [factory = info->factory,
                          witness = MakeWitness(recorder, "info released")]
    { return factory(); };
    witnessed->deleter =
        [deleter = info->deleter,
         witness = MakeWitness(recorder, "deleter released")](void *object)
    { deleter(object); };
    info = std::move(witnessed);
    {
      Plugin plugin;
      plugin.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
      info.reset();
      EXPECT_EQ(recorder.events, Events{"factory"});
    }
    EXPECT_EQ(recorder.events,
              (Events{"factory", "info released", "deleter",
                      "deleter released", "library released"}));
  }

  TEST_F(PluginTest, LastOwnerOnAnotherThreadRunsTheDeleter)
  {
    auto plugin = std::make_unique<Plugin>();
    plugin->PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
    std::shared_ptr<void> instance = plugin->PrivateGetInstancePtr();
    plugin.reset();

    std::thread::id workerId;
    std::thread worker(
        [&workerId, instance = std::move(instance)]() mutable
        {
          workerId = std::this_thread::get_id();
          instance.reset();
        });
    worker.join();

    EXPECT_EQ(recorder.events,
              (Events{"factory", "deleter", "library released"}));
    EXPECT_EQ(recorder.deleterThread, workerId);
  }

  TEST_F(PluginTest, CreateAgainMakesANewObjectAndDropsTheOld)
  {
    Plugin plugin;
    plugin.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
    const void *const first = plugin.QueryInterface<InterfaceA>();
    const std::shared_ptr<void> library = MakeFakeLibrary(recorder);
    plugin.PrivateCreatePluginInstance(info, library);

    EXPECT_EQ(recorder.events, (Events{"factory", "deleter",
                                       "library released", "factory"}));
    EXPECT_EQ(recorder.factoryCalls, 2);
    EXPECT_EQ(recorder.castCalls[nameA], 2);
    EXPECT_NE(plugin.QueryInterface<InterfaceA>(), nullptr);
    EXPECT_NE(plugin.QueryInterface<InterfaceA>(), first);
  }

  TEST_F(PluginTest, CreateFromOwnFieldsKeepsThem)
  {
    Plugin plugin;
    plugin.PrivateCreateStaticPluginInstance(info);
    plugin.PrivateCreateStaticPluginInstance(plugin.PrivateGetInfoPtr());
    EXPECT_EQ(plugin.PrivateGetInfoPtr(), info);
    EXPECT_EQ(recorder.events, (Events{"factory", "deleter", "factory"}));

    Plugin copy;
    copy.PrivateCopyPluginInstance(plugin.PrivateGetInfoPtr(),
                                   plugin.PrivateGetInstancePtr());
    copy.PrivateCopyPluginInstance(copy.PrivateGetInfoPtr(),
                                   copy.PrivateGetInstancePtr());
    EXPECT_EQ(copy.QueryInterface<InterfaceA>(),
              plugin.QueryInterface<InterfaceA>());
  }

  TEST_F(PluginTest, CreateWithoutInfoEmptiesThePlugin)
  {
    Plugin plugin;
    plugin.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
    plugin.PrivateCreatePluginInstance(nullptr, MakeFakeLibrary(recorder));

    EXPECT_EQ(recorder.events,
              (Events{"factory", "deleter", "library released",
                      "library released"}));
    EXPECT_EQ(plugin.PrivateGetInstancePtr(), nullptr);
    EXPECT_EQ(plugin.PrivateGetInfoPtr(), nullptr);
    EXPECT_EQ(plugin.Name(), nullptr);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameA), nullptr);
    EXPECT_FALSE(plugin.HasInterface(nameA, false));
  }

  TEST_F(PluginTest, FilePluginWithoutLibraryKeepsOnlyItsInfo)
  {
    Plugin plugin;
    EXPECT_EQ(StderrOf([&] { plugin.PrivateCreatePluginInstance(info, nullptr); }),
              kNoLibraryMessage);

    EXPECT_EQ(recorder.factoryCalls, 0);
    EXPECT_EQ(plugin.PrivateGetInstancePtr(), nullptr);
    ASSERT_NE(plugin.Name(), nullptr);
    EXPECT_EQ(*plugin.Name(), "Widget");
    EXPECT_TRUE(plugin.HasInterface("tova::test::InterfaceA", true));
    EXPECT_EQ(plugin.PrivateQueryInterface(nameA), nullptr);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameB), nullptr);
  }

  TEST_F(PluginTest, StaticPluginHoldsNoLibrary)
  {
    {
      Plugin plugin;
      EXPECT_EQ(StderrOf([&] { plugin.PrivateCreateStaticPluginInstance(info); }),
                "");
      EXPECT_NE(plugin.QueryInterface<InterfaceA>(), nullptr);
    }
    EXPECT_EQ(recorder.events, (Events{"factory", "deleter"}));
  }

  TEST_F(PluginTest, NullObjectIsReportedAndNeverDeleted)
  {
    static int marker = 0;
    auto nullInfo = std::make_shared<Info>(*info);
    nullInfo->factory = []() -> void * { return nullptr; };
    nullInfo->interfaces[nameA] = [](void *object) -> void *
    { return object ? object : &marker; };
    auto plugin = std::make_unique<Plugin>();
    plugin->PrivateCreatePluginInstance(nullInfo, MakeFakeLibrary(recorder));
    EXPECT_EQ(plugin->PrivateQueryInterface(nameA), &marker);
    EXPECT_EQ(plugin->PrivateQueryInterface(nameB), nullptr);
    EXPECT_EQ(StderrOf([&] { plugin.reset(); }), kNullInstanceMessage);
    EXPECT_EQ(recorder.events, Events{"library released"});
  }

  TEST_F(PluginTest, MissingDeleterIsReportedWithTheAddress)
  {
    auto noDeleter = std::make_shared<Info>(*info);
    noDeleter->deleter = nullptr;
    auto plugin = std::make_unique<Plugin>();
    plugin->PrivateCreatePluginInstance(noDeleter, MakeFakeLibrary(recorder));
    Widget *const widget = ObjectOf<Widget>(*plugin);
    EXPECT_EQ(StderrOf([&] { plugin.reset(); }), NoDeleterMessage(widget));
    EXPECT_EQ(recorder.events, (Events{"factory", "library released"}));
    delete widget;
  }

  TEST_F(PluginTest, EmptyFactoryThrowsAndKeepsOnlyTheInfo)
  {
    auto noFactory = std::make_shared<Info>(*info);
    noFactory->factory = nullptr;
    Plugin plugin;
    EXPECT_THROW(plugin.PrivateCreateStaticPluginInstance(noFactory),
                 std::bad_function_call);
    EXPECT_EQ(plugin.PrivateGetInfoPtr(), noFactory);
    EXPECT_EQ(plugin.PrivateGetInstancePtr(), nullptr);
    EXPECT_EQ(plugin.PrivateQueryInterface(nameA), nullptr);
  }

  TEST_F(PluginTest, EmptyCastThrowsAndTheInstanceIsStillOwned)
  {
    auto noCast = std::make_shared<Info>(*info);
    noCast->interfaces[nameB] = nullptr;
    {
      Plugin plugin;
      EXPECT_THROW(
          plugin.PrivateCreatePluginInstance(noCast, MakeFakeLibrary(recorder)),
          std::bad_function_call);
      EXPECT_NE(plugin.PrivateGetInstancePtr(), nullptr);
      EXPECT_EQ(plugin.PrivateQueryInterface(nameB), nullptr);
    }
    EXPECT_EQ(recorder.events,
              (Events{"factory", "deleter", "library released"}));
  }

  TEST_F(PluginTest, HasInterfaceTellsReadableFromAbiNames)
  {
    Plugin empty;
    EXPECT_FALSE(empty.HasInterface("tova::test::InterfaceA", true));
    EXPECT_FALSE(empty.HasInterface(nameA, false));
    EXPECT_FALSE(empty.HasInterface<InterfaceA>());
    EXPECT_EQ(empty.Name(), nullptr);

    Plugin plugin;
    plugin.PrivateCreateStaticPluginInstance(info);
    EXPECT_TRUE(plugin.HasInterface("tova::test::InterfaceA", true));
    EXPECT_TRUE(plugin.HasInterface("tova::test::InterfaceB"));
    EXPECT_FALSE(plugin.HasInterface(nameA, true));
    EXPECT_TRUE(plugin.HasInterface(nameA, false));
    EXPECT_FALSE(plugin.HasInterface("tova::test::InterfaceA", false));
    EXPECT_FALSE(plugin.HasInterface("tova::test::InterfaceC", true));
    EXPECT_TRUE(plugin.HasInterface<InterfaceB>());
    EXPECT_FALSE(plugin.HasInterface<InterfaceC>());
    ASSERT_NE(plugin.Name(), nullptr);
    EXPECT_EQ(plugin.Name(), &info->name);
  }

  TEST_F(PluginTest, GetOrCreateIteratorAddsANullEntryOnce)
  {
    Plugin plugin;
    plugin.PrivateCreateStaticPluginInstance(info);

    const auto added = plugin.PrivateGetOrCreateIterator(nameC);
    EXPECT_EQ(added->first, nameC);
    EXPECT_EQ(added->second, nullptr);
    EXPECT_EQ(plugin.PrivateGetOrCreateIterator(nameC), added);
    EXPECT_TRUE(plugin.HasInterface(nameC, false));
    EXPECT_TRUE(plugin.HasInterface<InterfaceC>());
    EXPECT_EQ(plugin.QueryInterface<InterfaceC>(), nullptr);

    const auto existing = plugin.PrivateGetOrCreateIterator(nameA);
    EXPECT_EQ(existing->second, plugin.PrivateQueryInterface(nameA));
    EXPECT_NE(existing->second, nullptr);
  }

  TEST_F(PluginTest, CopyFromInfoAndInstanceFollowsWhatIsAlive)
  {
    Plugin source;
    source.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
    const std::shared_ptr<void> &instance = source.PrivateGetInstancePtr();

    const struct
    {
      bool withInfo;
      bool withInstance;
      std::string message;
    } cases[] = {
        {true, true, ""},
        {false, true, kCopyWithoutInfoMessage},
        {true, false, ""},
        {false, false, ""},
    };
    for (const auto &testCase : cases)
    {
      SCOPED_TRACE(testing::Message() << "info " << testCase.withInfo
                                      << ", instance "
                                      << testCase.withInstance);
      const int castsBefore = CastCalls();
      Plugin copy;
      EXPECT_EQ(StderrOf([&] {
                  copy.PrivateCopyPluginInstance(
                      testCase.withInfo ? info : nullptr,
                      testCase.withInstance ? instance : nullptr);
                }),
                testCase.message);

      const bool loaded = testCase.withInfo && testCase.withInstance;
      EXPECT_EQ(copy.PrivateGetInstancePtr(),
                testCase.withInstance ? instance : nullptr);
      EXPECT_EQ(copy.PrivateGetInfoPtr(), testCase.withInfo ? info : nullptr);
      EXPECT_EQ(CastCalls() - castsBefore, loaded ? 2 : 0);
      EXPECT_EQ(copy.QueryInterface<InterfaceB>(),
                loaded ? source.QueryInterface<InterfaceB>() : nullptr);
      EXPECT_EQ(copy.PrivateQueryInterface(nameA),
                loaded ? source.PrivateQueryInterface(nameA) : nullptr);
    }
    EXPECT_EQ(recorder.events, Events{"factory"});
  }

  TEST_F(PluginTest, TypedSharedPointerAloneKeepsInstanceAndLibrary)
  {
    std::shared_ptr<InterfaceB> b;
    {
      Plugin plugin;
      plugin.PrivateCreatePluginInstance(info, MakeFakeLibrary(recorder));
      EXPECT_EQ(plugin.QueryInterfaceSharedPtr<InterfaceC>(), nullptr);
      b = plugin.QueryInterfaceSharedPtr<InterfaceB>();
      EXPECT_EQ(b.get(), plugin.QueryInterface<InterfaceB>());
    }
    EXPECT_EQ(recorder.events, Events{"factory"});
    EXPECT_EQ(b->ValueB(), 2);
    b.reset();
    EXPECT_EQ(recorder.events,
              (Events{"factory", "deleter", "library released"}));
  }
}
