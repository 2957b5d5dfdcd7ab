#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Info.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Messages.hpp>
#include <tova/plugin/Plugin.hpp>
#include <tova/plugin/Registry.hpp>

#include "detail/WriteMessage.hpp"

namespace tova::test
{
  namespace
  {
    using plugin::Info;
    using plugin::Loader;
    using plugin::Message;
    using plugin::MessageKind;
    using plugin::Plugin;
    using plugin::SetMessageHandler;

    /// What a handler keeps of one message.
    struct Received
    {
      MessageKind kind;
      std::string operation;
      std::string text;
    };

    /// Installs a handler that records every message, from any thread, and
    /// restores the default when it goes.
    class MessageLog
    {
    public:
      MessageLog() { this->Install(); }

      ~MessageLog() { SetMessageHandler(nullptr); }

      void Install()
      {
        SetMessageHandler([this](const Message &message) {
          const std::lock_guard<std::mutex> lock(this->mutex);
          this->received.push_back(
              {message.kind, std::string(message.operation), message.text});
        });
      }

      std::vector<Received> Take()
      {
        const std::lock_guard<std::mutex> lock(this->mutex);
        return std::move(this->received);
      }

    private:
      std::mutex mutex;
      std::vector<Received> received;
    };

    /// A record whose factory returns `object` and whose deleter is
    /// `deleter`.
    std::shared_ptr<Info> MakeRecord(void *object,
                                     std::function<void(void *)> deleter)
    {
      auto info = std::make_shared<Info>();
      info->name = "Widget";
      info->factory = [object]() { return object; };
      info->deleter = std::move(deleter);
      return info;
    }

    /// Stands in for a library handle.
    std::shared_ptr<void> FakeLibrary() { return std::make_shared<int>(0); }

    std::string AddressText(const void *address)
    {
      std::ostringstream text;
      text << address;
      return text.str();
    }

    void LoadLib(const std::string &path)
    {
      Loader loader;
      EXPECT_TRUE(loader.LoadLib(path).empty());
    }

    /// One kind of message, how to provoke it and its exact text.
    struct Case
    {
      MessageKind kind;
      std::function<void()> provoke;
      std::string text;
    };

    std::vector<Case> Cases()
    {
      using plugin::detail::WriteMessage;
      const std::string missing = "/nonexistent/libmissing.so";
      const std::string noHook = TOVA_FIXTURE_NO_HOOK;
      const std::string badVersion = TOVA_FIXTURE_BAD_VERSION;
      const std::string badSize = TOVA_FIXTURE_BAD_SIZE;
      const std::string nullOutput = TOVA_FIXTURE_NULL_OUTPUT;
      static int object = 0;
      return {
          {MessageKind::LibraryNotOpened, [=] { LoadLib(missing); },
           "Error while loading the library [" + missing +
               "]: " + OpenError(missing) + "\n"},
          {MessageKind::HookMissing, [=] { LoadLib(noHook); },
           "Library [" + noHook +
               "] does not export any plugins. The symbol [TovaPluginHook] "
               "is missing, or it is not externally visible.\n"},
          {MessageKind::IncompatibleVersion, [=] { LoadLib(badVersion); },
           "The library [" + badVersion +
               "] is using an incompatible version [2] of the tova::plugin "
               "Info API. The version in this library is [1].\n"},
          {MessageKind::InconsistentLayout, [=] { LoadLib(badSize); },
           "The plugin::Info size or alignment are not consistent with the "
           "expected values for the library [" +
               badSize +
               "]:\n -- size: expected 248 | received 256\n"
               " -- alignment: expected 8 | received 8\n"
               " -- We will not be able to safely load plugins from that "
               "library.\n"},
          {MessageKind::RecordsNotProvided, [=] { LoadLib(nullOutput); },
           "The library [" + nullOutput +
               "] failed to provide tova::plugin Info for unknown reasons. "
               "Please report this error as a bug!\n"},
          {MessageKind::DemanglingFailed,
           [] { EXPECT_EQ(plugin::DemangleSymbol("not@mangled"), "not@mangled"); },
           "[Demangle] Failed to demangle the symbol name [not@mangled]. "
           "Error code: -2\n"},
          {MessageKind::UnknownName,
           [] { EXPECT_EQ(Loader().LookupPlugin("nothing"), ""); },
           "[tova::plugin::Loader::LookupPlugin] Failed to get info for "
           "[nothing]. Could not find a plugin with that name or alias.\n"},
          {MessageKind::AmbiguousAlias,
           []
           {
             plugin::Registry registry;
             for (const char *name : {"b::Two", "a::One"})
             {
               Info info = *MakeRecord(nullptr, nullptr);
               info.name = name;
               info.aliases = {"both"};
               registry.AddInfo(info);
             }
             EXPECT_EQ(registry.LookupPlugin("both"), "");
           },
           "[tova::plugin::Registry::LookupPlugin] Failed to resolve the "
           "alias [both] because it refers to multiple plugins:\n"
           " -- [a::One]\n -- [b::Two]\n"},
          {MessageKind::InstanceMissing,
           []
           {
             Plugin plugin;
             plugin.PrivateCreatePluginInstance(
                 MakeRecord(nullptr, [](void *) {}), FakeLibrary());
           },
           "We have a nullptr plugin instance inside of a PluginWithDlHandle. "
           "This should not be possible! Please report this bug!\n"},
          {MessageKind::DeleterMissing,
           []
           {
             Plugin plugin;
             plugin.PrivateCreatePluginInstance(MakeRecord(&object, nullptr),
                                                FakeLibrary());
           },
           "This plugin instance (" + AddressText(&object) +
               ") was not given a deleter. This should never happen! Please "
               "report this bug!\n"},
          {MessageKind::StaticPluginGivenLibrary,
           [] { WriteMessage<MessageKind::StaticPluginGivenLibrary>(); },
           "Trying to create a plugin from a static plugin, but a shared "
           "library handle was provided. This should never happen! Please "
           "report this bug!\n"},
          {MessageKind::LibraryHandleMissing,
           []
           {
             Plugin plugin;
             plugin.PrivateCreatePluginInstance(
                 MakeRecord(&object, [](void *) {}), nullptr);
           },
           "Received Info for [Widget], but we were not provided a shared "
           "library handle. This should never happen! Please report this "
           "bug!\n"},
          {MessageKind::CopySourceMissing,
           [] { WriteMessage<MessageKind::CopySourceMissing>(); },
           "Received a nullptr _other in the constructor which uses `const "
           "Plugin::Implementation*`. This should not be possible! Please "
           "report this bug.\n"},
          {MessageKind::CopyInfoMissing,
           []
           {
             Plugin plugin;
             plugin.PrivateCopyPluginInstance(nullptr, FakeLibrary());
           },
           "[Plugin::Implementation::Copy(_info, _instance)] A Plugin has "
           "been copied from its info and instance, but the info was null "
           "even though the instance was valid. This should never happen! "
           "Please report this bug!\n"},
          {MessageKind::LoadedRecordMissing,
           [] { WriteMessage<MessageKind::LoadedRecordMissing>("x::Y"); },
           "[tova::Loader::PrivateGetInfoForFilePlugin] A resolved name "
           "[x::Y] could not be found in the registry of loaded plugins. "
           "This should not be possible! Please report this bug!\n"},
          {MessageKind::StaticRecordMissing,
           [] { WriteMessage<MessageKind::StaticRecordMissing>("x::Y"); },
           "[tova::Loader::PrivateGetInfoForStaticPlugin] A resolved name "
           "[x::Y] could not be found in the static plugin registry. This "
           "should not be possible! Please report this bug!\n"},
          {MessageKind::PluginLibraryMissing,
           [] { WriteMessage<MessageKind::PluginLibraryMissing>("x::Y"); },
           "[tova::Loader::PrivateGetInfo] A resolved name [x::Y] could not "
           "be found in the PluginToDlHandleMap. This should not be "
           "possible! Please report this bug!\n"},
          {MessageKind::InterfaceNotImplemented,
           []
           {
             Loader loader;
             loader.LoadLib(TOVA_FIXTURE_ONE_PLUGIN);
             EXPECT_EQ(nullptr,
                       loader.Create<fixture::Printable>("fixture::Single"));
           },
           "[tova::plugin::Loader::Create] The plugin [fixture::Single] does "
           "not implement the interface [fixture::Printable].\n"},
          // The catalog's messages; tests/catalog provokes each of them.
          {MessageKind::CatalogUnknownName,
           [] { WriteMessage<MessageKind::CatalogUnknownName>("x"); },
           "[tova::plugin::Catalog] No plugin in the catalog has the name or "
           "alias [x].\n"},
          {MessageKind::CatalogAmbiguousAlias,
           []
           {
             WriteMessage<MessageKind::CatalogAmbiguousAlias>(
                 "both", plugin::detail::ListedNames({"a::One", "b::Two"}));
           },
           "[tova::plugin::Catalog] The alias [both] refers to several "
           "plugins:\n -- [a::One]\n -- [b::Two]\n"},
          {MessageKind::CatalogInterfaceMissing,
           []
           {
             WriteMessage<MessageKind::CatalogInterfaceMissing>("x::Y", "i::I",
                                                                "1.0");
           },
           "[tova::plugin::Catalog::Create] The plugin [x::Y] does not "
           "implement [i::I] (version 1.0 in this application).\n"},
          {MessageKind::CatalogInterfaceIncompatible,
           []
           {
             WriteMessage<MessageKind::CatalogInterfaceIncompatible>(
                 "x::Y", "2.0", "i::I", "1.0");
           },
           "[tova::plugin::Catalog::Create] The plugin [x::Y] was built with "
           "version 2.0 of [i::I], which does not serve version 1.0 in this "
           "application.\n"},
          {MessageKind::CatalogLibraryUnusable,
           []
           {
             WriteMessage<MessageKind::CatalogLibraryUnusable>(
                 "/p/x.so", "x::Y", "its file has changed since the scan");
           },
           "[tova::plugin::Catalog] The library [/p/x.so] of the plugin [x::Y] "
           "cannot be used: its file has changed since the scan.\n"},
      };
    }

    /// How many kinds the libraries define.
    constexpr int KindCount = 0
#define TOVA_PLUGIN_MESSAGE(kind, operation, text) +1
#include <tova/plugin/detail/MessageList.hpp>
#undef TOVA_PLUGIN_MESSAGE
        ;

    void ProvokeUnknownName(const std::string &name)
    {
      EXPECT_EQ(Loader().LookupPlugin(name), "");
    }

    std::string UnknownNameText(const std::string &name)
    {
      return "[tova::plugin::Loader::LookupPlugin] Failed to get info for [" +
             name + "]. Could not find a plugin with that name or alias.\n";
    }
  }

  TEST(MessageHandler, ReceivesEveryKindWithItsExactTextAndNothingIsWritten)
  {
    std::set<MessageKind> covered;
    for (const Case &testCase : Cases())
    {
      SCOPED_TRACE(testCase.text);
      covered.insert(testCase.kind);
      MessageLog log;
      EXPECT_EQ(StderrOf(testCase.provoke), "");
      const std::vector<Received> received = log.Take();
      ASSERT_EQ(received.size(), 1u);
      EXPECT_EQ(received[0].kind, testCase.kind);
      EXPECT_EQ(received[0].text, testCase.text);
      EXPECT_EQ(received[0].operation.rfind("tova::plugin::", 0), 0u);
    }
    EXPECT_EQ(covered.size(), static_cast<std::size_t>(KindCount));
  }

  TEST(MessageHandler, WithoutAHandlerEveryTextGoesToTheStandardErrorStream)
  {
    {
      MessageLog replacedAndRemoved;
    }
    for (const Case &testCase : Cases())
      EXPECT_EQ(StderrOf(testCase.provoke), testCase.text);
  }

  TEST(MessageHandler, AThrowingHandlerFallsBackToTheStandardErrorStream)
  {
    int calls = 0;
    SetMessageHandler([&calls](const Message &) {
      ++calls;
      throw std::runtime_error("handler failed");
    });
    // One message from an ordinary call, one from a destructor, where an
    // exception that escaped would end the process.
    for (const Case &testCase : Cases())
    {
      if (testCase.kind == MessageKind::UnknownName ||
          testCase.kind == MessageKind::InstanceMissing)
      {
        EXPECT_EQ(StderrOf(testCase.provoke), testCase.text);
      }
    }
    SetMessageHandler(nullptr);
    EXPECT_EQ(calls, 2);
  }

  TEST(MessageHandler, AHandlerMayReplaceItself)
  {
    MessageLog log;
    SetMessageHandler([](const Message &) { SetMessageHandler(nullptr); });
    EXPECT_EQ(StderrOf([] { ProvokeUnknownName("first"); }), "");
    EXPECT_EQ(StderrOf([] { ProvokeUnknownName("second"); }),
              UnknownNameText("second"));
  }

  TEST(MessageHandler, AMessageThatTheHandlerCausesIsWrittenNotHandledAgain)
  {
    std::vector<std::string> handled;
    SetMessageHandler([&handled](const Message &message) {
      handled.push_back(message.text);
      ProvokeUnknownName("inner");
    });
    EXPECT_EQ(StderrOf([] { ProvokeUnknownName("outer"); }),
              UnknownNameText("inner"));
    SetMessageHandler(nullptr);
    EXPECT_EQ(handled, std::vector<std::string>{UnknownNameText("outer")});
  }

  TEST(MessageHandler, AReplacedHandlerFinishesItsCallAlive)
  {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool replaced = false;
    std::string seen;
    // The text is part of the handler object: were the object destroyed
    // while it runs, the address sanitizer would report the read.
    SetMessageHandler(
        [&, captured = std::string(64, 'x')](const Message &)
        {
          std::unique_lock<std::mutex> lock(mutex);
          entered = true;
          changed.notify_all();
          changed.wait(lock, [&] { return replaced; });
          seen = captured;
        });
    std::thread writer([] { ProvokeUnknownName("slow"); });
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return entered; });
    }
    SetMessageHandler(nullptr);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      replaced = true;
    }
    changed.notify_all();
    writer.join();
    EXPECT_EQ(seen, std::string(64, 'x'));
  }

  TEST(MessageHandler, ThreadsWriteAtOnceAndEveryMessageArrivesWhole)
  {
    constexpr int threadCount = 4;
    constexpr int messagesPerThread = 50;
    std::multiset<std::string> expected;
    for (int thread = 0; thread < threadCount; ++thread)
      for (int index = 0; index < messagesPerThread; ++index)
        expected.insert(UnknownNameText(std::to_string(thread) + "." +
                                        std::to_string(index)));

    MessageLog log;
    const std::string written = StderrOf(
        []
        {
          std::vector<std::thread> threads;
          for (int thread = 0; thread < threadCount; ++thread)
            threads.emplace_back(
                [thread]
                {
                  for (int index = 0; index < messagesPerThread; ++index)
                    ProvokeUnknownName(std::to_string(thread) + "." +
                                       std::to_string(index));
                });
          for (std::thread &thread : threads)
            thread.join();
        });

    EXPECT_EQ(written, "");
    std::multiset<std::string> received;
    for (const Received &message : log.Take())
    {
      EXPECT_EQ(message.kind, MessageKind::UnknownName);
      received.insert(message.text);
    }
    EXPECT_EQ(received, expected);
  }

  TEST(MessageHandler, InstallingWhileThreadsWriteLosesAndSplitsNothing)
  {
    constexpr int messageCount = 200;
    const std::string text = UnknownNameText("n");
    std::atomic<bool> writing{true};
    MessageLog log;
    const std::string written = StderrOf(
        [&]
        {
          std::thread writer(
              [&]
              {
                for (int index = 0; index < messageCount; ++index)
                  ProvokeUnknownName("n");
                writing = false;
              });
          while (writing)
          {
            SetMessageHandler(nullptr);
            std::this_thread::yield();
            log.Install();
          }
          writer.join();
        });

    // Each message went whole to one place or the other.
    const std::size_t handled = log.Take().size();
    std::string expected;
    for (std::size_t index = handled; index < messageCount; ++index)
      expected += text;
    EXPECT_EQ(written, expected);
  }
}
