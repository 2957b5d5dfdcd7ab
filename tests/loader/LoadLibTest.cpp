#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Manifest.hpp>

using tova::plugin::Loader;
using tova::test::IsLoaded;
using tova::test::OpenError;
using tova::test::StderrOf;

namespace
{
  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;
  const std::string onePlugin = TOVA_FIXTURE_ONE_PLUGIN;

  /// Loads `path` through `loader` and returns what it wrote to stderr.
  std::string LoadCapturing(Loader &loader, const std::string &path,
                            Loader::PluginNameSet &names)
  {
    return StderrOf([&] { names = loader.LoadLib(path); });
  }

  /// A scratch file in the test's working directory, removed afterwards.
  class ScratchFile
  {
  public:
    ScratchFile(const std::string &name, const std::string &content)
      : path("./" + name)
    {
      std::ofstream(this->path, std::ios::binary) << content;
    }

    ~ScratchFile() { std::remove(this->path.c_str()); }

    const std::string path;
  };

  std::string Head(const std::string &path, std::size_t bytes)
  {
    std::ifstream file(path, std::ios::binary);
    std::string content(bytes, '\0');
    file.read(content.data(), static_cast<std::streamsize>(bytes));
    content.resize(static_cast<std::size_t>(file.gcount()));
    return content;
  }
}

TEST(LoadLib, ReportsReadableNamesOfEveryPluginAndRegistersThem)
{
  Loader loader;
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Circle", "fixture::Square"}),
            loader.LoadLib(twoPlugins));

  EXPECT_EQ(Loader::NameSet({"fixture::Circle", "fixture::Square"}),
            loader.AllPlugins());
  EXPECT_EQ(Loader::InterfaceSet({"fixture::Shape", "fixture::Printable"}),
            loader.InterfacesImplemented());
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Circle", "fixture::Square"}),
            loader.PluginsImplementing("fixture::Shape"));
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Circle"}),
            loader.PluginsImplementing(typeid(fixture::Printable).name(),
                                       false));
  EXPECT_TRUE(loader.PluginsImplementing("fixture::Printable", false).empty());
  EXPECT_EQ(Loader::NameSet({"circle", "round"}),
            loader.AliasesOfPlugin("fixture::Circle"));
  EXPECT_EQ("fixture::Square", loader.LookupPlugin("square"));
}

TEST(LoadLib, LoadingTheSameLibraryAgainReusesItsHandle)
{
  {
    Loader loader;
    const auto first = loader.LoadLib(twoPlugins);
    const auto registered = loader.PrettyStr();
    EXPECT_EQ(first, loader.LoadLib(twoPlugins));
    EXPECT_EQ(registered, loader.PrettyStr());
    EXPECT_TRUE(IsLoaded(twoPlugins));
  }
  // A second reference taken and kept by the repeated load would keep the
  // library open here.
  EXPECT_FALSE(IsLoaded(twoPlugins));
}

TEST(LoadLib, TwoLoadersHoldTheLibraryEachAndItClosesAfterBoth)
{
  auto first = std::make_unique<Loader>();
  auto second = std::make_unique<Loader>();
  EXPECT_EQ(1u, first->LoadLib(onePlugin).size());
  EXPECT_EQ(1u, second->LoadLib(onePlugin).size());
  first.reset();
  EXPECT_TRUE(IsLoaded(onePlugin));
  EXPECT_EQ("fixture::Single", second->LookupPlugin("fixture::Single"));
  second.reset();
  EXPECT_FALSE(IsLoaded(onePlugin));
}

TEST(LoadLib, NeverUnloadKeepsTheLibraryMappedAfterTheLastReference)
{
  const std::string path = TOVA_FIXTURE_NEVER_UNLOAD;
  {
    Loader loader;
    EXPECT_EQ(Loader::PluginNameSet({"fixture::Single"}),
              loader.LoadLib(path, true));
  }
  EXPECT_TRUE(IsLoaded(path));
}

TEST(LoadLib, ALibraryWithoutPluginsIsClosedBeforeLoadLibReturns)
{
  Loader loader;
  Loader::PluginNameSet names{"sentinel"};
  EXPECT_EQ("", LoadCapturing(loader, TOVA_FIXTURE_NO_PLUGINS, names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(IsLoaded(TOVA_FIXTURE_NO_PLUGINS));
}

// Each kind of bad library: its exact message, no names, the library closed
// again, and a loader that still works.
struct BadLibrary
{
  std::string path;
  std::string message;
};

void PrintTo(const BadLibrary &bad, std::ostream *out)
{
  *out << "[" << bad.path << "]";
}

class LoadLibRefuses : public testing::TestWithParam<BadLibrary>
{
};

TEST_P(LoadLibRefuses, WithItsMessageAndLeavesTheLoaderUsable)
{
  const BadLibrary &bad = GetParam();
  Loader loader;
  Loader::PluginNameSet names{"sentinel"};
  EXPECT_EQ(bad.message, LoadCapturing(loader, bad.path, names));
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(loader.AllPlugins().empty());
  if (!bad.path.empty())
  {
    EXPECT_FALSE(IsLoaded(bad.path));
  }

  EXPECT_EQ(2u, loader.LoadLib(twoPlugins).size());
  EXPECT_FALSE(loader.Instantiate("circle").IsEmpty());
}

std::string SizeMessage(const std::string &path, const std::string &size,
                        const std::string &alignment)
{
  return "The plugin::Info size or alignment are not consistent with the "
         "expected values for the library [" + path + "]:\n"
         " -- size: expected 248 | received " + size + "\n"
         " -- alignment: expected 8 | received " + alignment + "\n"
         " -- We will not be able to safely load plugins from that "
         "library.\n";
}

std::vector<BadLibrary> HookFailures()
{
  const std::string noHook = TOVA_FIXTURE_NO_HOOK;
  const std::string badVersion = TOVA_FIXTURE_BAD_VERSION;
  const std::string nullOutput = TOVA_FIXTURE_NULL_OUTPUT;
  return {
      {noHook, "Library [" + noHook + "] does not export any plugins. The "
               "symbol [TovaPluginHook] is missing, or it is not externally "
               "visible.\n"},
      {badVersion, "The library [" + badVersion + "] is using an "
                   "incompatible version [2] of the tova::plugin Info API. "
                   "The version in this library is [1].\n"},
      {TOVA_FIXTURE_BAD_SIZE,
       SizeMessage(TOVA_FIXTURE_BAD_SIZE, "256", "8")},
      {TOVA_FIXTURE_BAD_ALIGNMENT,
       SizeMessage(TOVA_FIXTURE_BAD_ALIGNMENT, "248", "4")},
      {nullOutput, "The library [" + nullOutput + "] failed to provide "
                   "tova::plugin Info for unknown reasons. Please report "
                   "this error as a bug!\n"},
      // An empty path opens the program itself, which has no hook.
      {"", "Library [] does not export any plugins. The symbol "
           "[TovaPluginHook] is missing, or it is not externally "
           "visible.\n"},
  };
}

INSTANTIATE_TEST_SUITE_P(Hook, LoadLibRefuses,
                         testing::ValuesIn(HookFailures()));

TEST(LoadLib, FilesThatAreNoLibrariesAreReportedWithThePlatformText)
{
  const ScratchFile text("tova-text-file.so", "just some text\n");
  const ScratchFile empty("tova-empty-file.so", "");
  // The platform's loader dies of a bus error on a library cut short, so
  // the loader refuses it before opening, in the platform's words.
  const ScratchFile truncated("tova-truncated.so", Head(twoPlugins, 4096));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"./tova-no-such-library.so",
       OpenError("./tova-no-such-library.so")},
      {text.path, OpenError(text.path)},
      {empty.path, OpenError(empty.path)},
      {truncated.path, truncated.path + ": file too short"},
  };

  for (const auto &[path, platformText] : cases)
  {
    SCOPED_TRACE(path);
    Loader loader;
    Loader::PluginNameSet names{"sentinel"};
    EXPECT_EQ("Error while loading the library [" + path + "]: " +
                  platformText + "\n",
              LoadCapturing(loader, path, names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(IsLoaded(path));
    EXPECT_EQ(2u, loader.LoadLib(twoPlugins).size());
  }
}

TEST(LoadLib, ABareNameIsReportedWithThePlatformTextOfItsSearch)
{
  // "." has no slash, so the platform searches the library path for it and
  // names the first directory where it met a "." that is no library. Which
  // directory that is depends on the run paths of the calling library and
  // so on where the build lives: everything else is compared exactly.
  const std::string platformText = OpenError(".");
  const std::string reason = platformText.substr(platformText.rfind('/') + 1);
  ASSERT_EQ(0u, reason.rfind(".: ", 0)) << platformText;

  Loader loader;
  Loader::PluginNameSet names{"sentinel"};
  const std::string message = LoadCapturing(loader, ".", names);
  const std::string prefix = "Error while loading the library [.]: /";
  const std::string suffix = "/" + reason + "\n";
  ASSERT_GE(message.size(), prefix.size() + suffix.size()) << message;
  EXPECT_EQ(prefix, message.substr(0, prefix.size()));
  EXPECT_EQ(suffix, message.substr(message.size() - suffix.size()));
  EXPECT_EQ(message.size() - 1, message.find('\n')) << "one line";
  EXPECT_TRUE(names.empty());
}

TEST(LoadLib, ALibraryWhoseStartUpProbesForAMissingSymbolLoads)
{
  const std::string path = TOVA_FIXTURE_DLERROR_AT_STARTUP;
  Loader loader;
  Loader::PluginNameSet names;
  EXPECT_EQ("", LoadCapturing(loader, path, names));
  EXPECT_EQ(Loader::PluginNameSet{"fixture::Startled"}, names);
  EXPECT_TRUE(IsLoaded(path));
  EXPECT_FALSE(loader.Instantiate("fixture::Startled").IsEmpty());
}

// Aliases alone make no plugin, whichever of the library's source files
// starts up first; a class registered in one file keeps the aliases that
// another file gives it.
class AliasesWithoutRegistration : public testing::TestWithParam<std::string>
{
};

TEST_P(AliasesWithoutRegistration, MakeNoPlugin)
{
  Loader loader;
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Early", "fixture::Split"}),
            loader.LoadLib(GetParam()));
  EXPECT_EQ(Loader::NameSet({"halves", "split"}),
            loader.AliasesOfPlugin("fixture::Split"));
  EXPECT_EQ(Loader::NameSet({"early"}), loader.AliasesOfPlugin("fixture::Early"));
  const tova::plugin::PluginPtr split = loader.Instantiate("halves");
  ASSERT_FALSE(split.IsEmpty());
  EXPECT_EQ(6.0, split->QueryInterface<fixture::Shape>()->Area());

  EXPECT_EQ("[tova::plugin::Loader::LookupPlugin] Failed to get info for "
            "[unregistered]. Could not find a plugin with that name or "
            "alias.\n",
            StderrOf([&] {
              EXPECT_TRUE(loader.Instantiate("unregistered").IsEmpty());
              EXPECT_EQ("", loader.LookupPlugin("unregistered"));
            }));
  EXPECT_TRUE(loader.PluginsWithAlias("unregistered").empty());

  // The library's manifest agrees.
  const auto read = tova::plugin::ReadManifest(GetParam());
  ASSERT_TRUE(std::holds_alternative<tova::plugin::Manifest>(read));
  std::vector<std::string> described;
  for (const auto &plugin : std::get<tova::plugin::Manifest>(read).plugins)
    described.push_back(plugin.name);
  EXPECT_EQ((std::vector<std::string>{"fixture::Early", "fixture::Split"}),
            described);
}

INSTANTIATE_TEST_SUITE_P(LoadLib, AliasesWithoutRegistration,
                         testing::Values(TOVA_FIXTURE_ALIASES_FIRST,
                                         TOVA_FIXTURE_ALIASES_LAST));
