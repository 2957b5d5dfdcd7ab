// A loaded plugin's own name that static plugins carry as an alias: the
// loaded plugin is instantiated, and the static registry's lookup, which
// Instantiate always runs, still reports the ambiguous alias.

#include <gtest/gtest.h>

#include <string>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/RegisterStatic.hpp>

namespace app
{
  class First : public fixture::Shape
  {
  public:
    double Area() const override { return 1.0; }
  };

  class Second : public fixture::Shape
  {
  public:
    double Area() const override { return 2.0; }
  };
}

TOVA_PLUGIN_REGISTER_STATIC(app::First, fixture::Shape);
TOVA_PLUGIN_ALIASES_STATIC(app::First, "fixture::Circle");
TOVA_PLUGIN_REGISTER_STATIC(app::Second, fixture::Shape);
TOVA_PLUGIN_ALIASES_STATIC(app::Second, "fixture::Circle");

TEST(StaticAlias, NamingALoadedPluginIsStillReportedWhenAmbiguous)
{
  tova::plugin::Loader loader;
  ASSERT_FALSE(loader.LoadLib(TOVA_FIXTURE_TWO_PLUGINS).empty());
  tova::plugin::PluginPtr circle;
  EXPECT_EQ("[tova::plugin::Registry::LookupPlugin] Failed to resolve the "
            "alias [fixture::Circle] because it refers to multiple "
            "plugins:\n -- [app::First]\n -- [app::Second]\n",
            tova::test::StderrOf(
                [&] { circle = loader.Instantiate("fixture::Circle"); }));
  ASSERT_FALSE(circle.IsEmpty());
  EXPECT_DOUBLE_EQ(3.0, circle->QueryInterface<fixture::Shape>()->Area());
}
