#include <gtest/gtest.h>

#include <string>

#include <fixture/Shape.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/RegisterStatic.hpp>

using tova::plugin::Loader;
using tova::plugin::PluginPtr;

namespace app
{
  class Gauge : public fixture::Shape,
                public tova::plugin::EnablePluginFromThis
  {
  public:
    double Area() const override { return 7.0; }
  };

  // Linked into the program under the same name as a library's plugin.
  class StaticCircle : public fixture::Shape
  {
  public:
    double Area() const override { return 99.0; }
  };

  bool RegisterCircleUnderTheLibrarysName()
  {
    tova::plugin::Info info;
    info.name = "N7fixture6CircleE";
    info.interfaces[typeid(fixture::Shape).name()] = [](void *object) {
      return static_cast<void *>(static_cast<fixture::Shape *>(
          static_cast<StaticCircle *>(object)));
    };
    info.factory = [] { return static_cast<void *>(new StaticCircle); };
    info.deleter = [](void *object) {
      delete static_cast<StaticCircle *>(object);
    };
    return tova::plugin::StaticRegistry::GetInstance().AddInfo(info);
  }

  const bool circleRegistered = RegisterCircleUnderTheLibrarysName();
}

TOVA_PLUGIN_REGISTER_STATIC(app::Gauge, fixture::Shape);
TOVA_PLUGIN_ALIASES_STATIC(app::Gauge, "gauge", "round");

namespace
{
  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;

  double AreaOf(const PluginPtr &plugin)
  {
    return plugin->QueryInterface<fixture::Shape>()->Area();
  }
}

TEST(StaticPlugins, AreFoundAndInstantiatedWithoutAnyLibrary)
{
  Loader loader;
  EXPECT_EQ(Loader::NameSet({"app::Gauge", "fixture::Circle"}),
            loader.AllPlugins());
  EXPECT_EQ(Loader::InterfaceSet({"fixture::Shape",
                                  "tova::plugin::EnablePluginFromThis"}),
            loader.InterfacesImplemented());
  EXPECT_EQ("app::Gauge", loader.LookupPlugin("round"));

  const PluginPtr gauge = loader.Instantiate("gauge");
  ASSERT_FALSE(gauge.IsEmpty());
  EXPECT_DOUBLE_EQ(7.0, AreaOf(gauge));
  EXPECT_DOUBLE_EQ(99.0, AreaOf(loader.Instantiate("fixture::Circle")));

  // Static plugins get their self-reference wired too.
  const PluginPtr self =
      gauge->QueryInterface<tova::plugin::EnablePluginFromThis>()
          ->PluginFromThis();
  EXPECT_EQ(gauge, self);
}

TEST(StaticPlugins, LoadedPluginsComeFirst)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  EXPECT_EQ("fixture::Circle", loader.LookupPlugin("fixture::Circle"));
  EXPECT_DOUBLE_EQ(3.0, AreaOf(loader.Instantiate("fixture::Circle")));
  EXPECT_EQ(Loader::NameSet({"app::Gauge", "fixture::Circle",
                             "fixture::Square"}),
            loader.AllPlugins());

  // "round" is an alias of the loaded circle and of the static gauge.
  EXPECT_EQ(Loader::NameSet({"app::Gauge", "fixture::Circle"}),
            loader.PluginsWithAlias("round"));
  EXPECT_EQ("fixture::Circle", loader.LookupPlugin("round"));
  EXPECT_EQ(Loader::NameSet({"circle", "round"}),
            loader.AliasesOfPlugin("fixture::Circle"));
  EXPECT_EQ(Loader::PluginNameSet({"app::Gauge", "fixture::Circle",
                                   "fixture::Square"}),
            loader.PluginsImplementing("fixture::Shape"));
}

TEST(StaticPlugins, AreNeverForgotten)
{
  Loader loader;
  loader.LoadLib(twoPlugins);
  EXPECT_FALSE(loader.ForgetLibraryOfPlugin("gauge"));
  EXPECT_TRUE(loader.ForgetLibraryOfPlugin("fixture::Circle"));
  EXPECT_FALSE(tova::test::IsLoaded(twoPlugins));
  // The static plugin of the same name is what the name finds now.
  EXPECT_DOUBLE_EQ(99.0, AreaOf(loader.Instantiate("fixture::Circle")));
  EXPECT_FALSE(loader.ForgetLibraryOfPlugin("fixture::Circle"));
  EXPECT_EQ(Loader::NameSet({"app::Gauge", "fixture::Circle"}),
            loader.AllPlugins());
}

TEST(StaticPlugins, HaveTheirOwnSectionInTheReport)
{
  Loader loader;
  loader.LoadLib(TOVA_FIXTURE_ONE_PLUGIN);
  const std::string report = loader.PrettyStr();
  const std::string staticSection =
      "Static plugins registry: \n"
      "Registry state\n"
      "\tKnown Interfaces: 2\n";
  const std::size_t start = report.find(staticSection);
  ASSERT_NE(std::string::npos, start) << report;
  EXPECT_EQ(std::string::npos, report.find("fixture::Single", start));
  const std::string staticPlugins =
      "\tKnown Plugins: 2\n"
      "\t\t[app::Gauge]\n"
      "\t\t\thas 2 aliases:\n"
      "\t\t\t\t[gauge]\n"
      "\t\t\t\t[round]\n"
      "\t\t\timplements 2 interfaces:\n"
      "\t\t\t\tfixture::Shape\n"
      "\t\t\t\ttova::plugin::EnablePluginFromThis\n"
      "\t\t[fixture::Circle]\n"
      "\t\t\thas no aliases\n"
      "\t\t\timplements 1 interface:\n"
      "\t\t\t\tfixture::Shape\n"
      "\n";
  EXPECT_EQ(staticPlugins,
            report.substr(report.find("\tKnown Plugins: 2\n", start)));
}
