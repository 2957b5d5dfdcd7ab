#include <gtest/gtest.h>

#include <string>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <support/Reports.hpp>
#include <tova/plugin/Loader.hpp>

using tova::plugin::Loader;
using tova::plugin::PluginPtr;
using tova::test::IsLoaded;
using tova::test::StderrOf;

namespace
{
  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;
  const std::string threePlugins = TOVA_FIXTURE_THREE_PLUGINS;
  const std::string onePlugin = TOVA_FIXTURE_ONE_PLUGIN;
  const std::string otherCircle = TOVA_FIXTURE_OTHER_CIRCLE;

  const std::string emptyRegistry = tova::test::EmptyRegistryReport();
}

TEST(ForgetLibrary, WithoutInstancesClosesTheLibraryDuringTheCall)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  EXPECT_TRUE(loader.ForgetLibrary(twoPlugins));
  EXPECT_FALSE(IsLoaded(twoPlugins));
  EXPECT_TRUE(loader.AllPlugins().empty());
  EXPECT_TRUE(loader.InterfacesImplemented().empty());
  EXPECT_EQ("Loaded plugins registry: \n" + emptyRegistry +
                "Static plugins registry: \n" + emptyRegistry,
            loader.PrettyStr());
  EXPECT_FALSE(loader.ForgetLibrary(twoPlugins));
}

TEST(ForgetLibrary, ALiveInstanceKeepsWorkingAndClosesTheLibraryLast)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  PluginPtr circle = loader.Instantiate("circle");
  EXPECT_TRUE(loader.ForgetLibrary(twoPlugins));
  EXPECT_TRUE(IsLoaded(twoPlugins));
  EXPECT_TRUE(loader.AllPlugins().empty());
  EXPECT_DOUBLE_EQ(3.0, circle->QueryInterface<fixture::Shape>()->Area());
  EXPECT_EQ("fixture::Circle", *circle->Name());
  circle = PluginPtr();
  EXPECT_FALSE(IsLoaded(twoPlugins));
}

TEST(ForgetLibrary, ReloadingWhileAnInstanceLivesRegistersThePluginsAgain)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  PluginPtr square = loader.Instantiate("square");
  ASSERT_TRUE(loader.ForgetLibrary(twoPlugins));
  EXPECT_EQ(2u, loader.LoadLib(twoPlugins).size());
  EXPECT_FALSE(loader.Instantiate("circle").IsEmpty());

  square = PluginPtr();
  EXPECT_TRUE(IsLoaded(twoPlugins));
  EXPECT_TRUE(loader.ForgetLibrary(twoPlugins));
  EXPECT_FALSE(IsLoaded(twoPlugins));
}

TEST(ForgetLibrary, PathsThisLoaderDidNotLoadChangeNothing)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  Loader other;
  other.LoadLib(onePlugin);

  EXPECT_EQ("", StderrOf([&] {
              EXPECT_FALSE(loader.ForgetLibrary("./tova-never-loaded.so"));
              EXPECT_FALSE(loader.ForgetLibrary(threePlugins));
              EXPECT_FALSE(loader.ForgetLibrary(onePlugin));
              EXPECT_FALSE(loader.ForgetLibrary(""));
            }));

  EXPECT_FALSE(IsLoaded(threePlugins));
  EXPECT_TRUE(IsLoaded(onePlugin));
  EXPECT_EQ("fixture::Single", other.LookupPlugin("fixture::Single"));
  EXPECT_EQ(2u, loader.AllPlugins().size());
}

TEST(ForgetLibraryOfPlugin, AnAliasForgetsTheWholeLibrary)
{
  Loader loader;
  loader.LoadLib(threePlugins);
  loader.LoadLib(onePlugin);
  EXPECT_TRUE(loader.ForgetLibraryOfPlugin("round"));
  EXPECT_EQ(Loader::NameSet({"fixture::Single"}), loader.AllPlugins());
  EXPECT_FALSE(IsLoaded(threePlugins));
  EXPECT_TRUE(IsLoaded(onePlugin));
}

TEST(ForgetLibraryOfPlugin, AnUnknownNameIsReportedAndChangesNothing)
{
  Loader loader;
  loader.LoadLib(onePlugin);
  EXPECT_EQ("[tova::plugin::Loader::LookupPlugin] Failed to get info for "
            "[fixture::Hexagon]. Could not find a plugin with that name or "
            "alias.\n",
            StderrOf([&] {
              EXPECT_FALSE(loader.ForgetLibraryOfPlugin("fixture::Hexagon"));
            }));
  EXPECT_EQ(1u, loader.AllPlugins().size());
}

TEST(ForgetLibraryOfPlugin, ANameThatResolvesNowhereNeverMeansAnUnnamedPlugin)
{
  const std::string unnamed = TOVA_FIXTURE_UNNAMED;
  Loader loader;
  // Both write messages that other tests compare.
  StderrOf([&] {
    EXPECT_EQ(Loader::PluginNameSet({""}), loader.LoadLib(unnamed));
    EXPECT_FALSE(loader.ForgetLibraryOfPlugin("fixture::Hexagon"));
  });
  EXPECT_EQ(Loader::NameSet({""}), loader.AllPlugins());
  EXPECT_TRUE(IsLoaded(unnamed));
}

// fixture::Circle comes from two libraries: the first library's record (and
// code) stays registered until the first library is forgotten; the second
// library's record never registers, so nothing keeps that library open.
TEST(DuplicateName, TheFirstLibraryKeepsTheNameUntilItIsForgotten)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Circle"}),
            loader.LoadLib(otherCircle));
  EXPECT_FALSE(IsLoaded(otherCircle));
  EXPECT_FALSE(loader.ForgetLibrary(otherCircle));
  EXPECT_DOUBLE_EQ(
      3.0, loader.Instantiate("fixture::Circle")
               ->QueryInterface<fixture::Shape>()->Area());

  // While an instance holds the second library open, forgetting it still
  // leaves the first library's record alone.
  {
    Loader other;
    other.LoadLib(otherCircle);
    const PluginPtr keeper = other.Instantiate("circle");
    loader.LoadLib(otherCircle);
    EXPECT_TRUE(loader.ForgetLibrary(otherCircle));
    EXPECT_DOUBLE_EQ(
        3.0, loader.Instantiate("circle")->QueryInterface<fixture::Shape>()
                 ->Area());
  }
  EXPECT_FALSE(IsLoaded(otherCircle));

  // Forgetting the first library takes the name with it.
  EXPECT_TRUE(loader.ForgetLibrary(twoPlugins));
  EXPECT_FALSE(IsLoaded(twoPlugins));
  EXPECT_TRUE(loader.AllPlugins().empty());

  EXPECT_EQ(Loader::PluginNameSet({"fixture::Circle"}),
            loader.LoadLib(otherCircle));
  EXPECT_DOUBLE_EQ(
      30.0, loader.Instantiate("circle")->QueryInterface<fixture::Shape>()
                ->Area());
}

TEST(LoaderReport, FramesBothRegistryReports)
{
  Loader loader;
  EXPECT_EQ("Loaded plugins registry: \n" + emptyRegistry +
                "Static plugins registry: \n" + emptyRegistry,
            loader.PrettyStr());

  loader.LoadLib(onePlugin);
  EXPECT_EQ(tova::test::OnePluginLoaderReport(), loader.PrettyStr());

  loader.ForgetLibraryOfPlugin("fixture::Single");
  EXPECT_EQ("Loaded plugins registry: \n" + emptyRegistry +
                "Static plugins registry: \n" + emptyRegistry,
            loader.PrettyStr());
}
