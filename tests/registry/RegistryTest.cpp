#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <unordered_set>

#include <tova/plugin/Registry.hpp>

#include "TestSupport.hpp"

namespace
{
  using namespace tova::test;
  using tova::plugin::Registry;
  using HashNames = std::unordered_set<std::string>;

  const std::string ShapeAmbiguity =
      "[tova::plugin::Registry::LookupPlugin] Failed to resolve the alias "
      "[Shape] because it refers to multiple plugins:\n"
      " -- [Circle]\n"
      " -- [Square]\n";

  /// Expects `nameOrAlias` to resolve to `expected` and write `message`.
  void ExpectLookup(const Registry &registry, const std::string &nameOrAlias,
                    const std::string &expected,
                    const std::string &message = "")
  {
    SCOPED_TRACE("LookupPlugin(\"" + nameOrAlias + "\")");
    std::string resolved;
    EXPECT_EQ(StderrOf([&] { resolved = registry.LookupPlugin(nameOrAlias); }),
              message);
    EXPECT_EQ(resolved, expected);
  }

  TEST(Registry, EmptyRegistryAnswersEmptyAndSilently)
  {
    Registry registry;
    EXPECT_TRUE(registry.AllPlugins().empty());
    EXPECT_TRUE(registry.InterfacesImplemented().empty());
    for (const std::string query : {"", "Circle", "Shape"})
    {
      ExpectLookup(registry, query, "");
      EXPECT_EQ(registry.GetInfo(query), nullptr);
      EXPECT_TRUE(registry.AliasesOfPlugin(query).empty());
      EXPECT_TRUE(registry.PluginsWithAlias(query).empty());
      EXPECT_TRUE(registry.PluginsImplementing(query, true).empty());
      EXPECT_TRUE(registry.PluginsImplementing(query, false).empty());
    }
    EXPECT_EQ(StderrOf([&] { registry.ForgetInfo("Circle"); }), "");
    EXPECT_EQ(registry.PrettyStr(),
              "Registry state\n\tKnown Interfaces: 0\n\tKnown Plugins: 0\n\n");
  }

  // Circle and Square both carry the alias Shape.
  class ShapeRegistry : public testing::Test
  {
  protected:
    void SetUp() override
    {
      ASSERT_TRUE(registry.AddInfo(MakeRecord("Circle", {"Shape", "round"})));
      ASSERT_TRUE(registry.AddInfo(MakeRecord("Square", {"Shape"})));
    }

    Registry registry;
  };

  TEST_F(ShapeRegistry, LookupResolvesExactNamesAndUniqueAliases)
  {
    ExpectLookup(registry, "Circle", "Circle");
    ExpectLookup(registry, "round", "Circle");
    ExpectLookup(registry, "Shape", "", ShapeAmbiguity);
    for (const std::string near : {"circle", "Circl", "Circle ", "shape", ""})
      ExpectLookup(registry, near, "");
  }

  TEST_F(ShapeRegistry, PluginsWithAliasListsCarriersAndSameNamedPlugin)
  {
    EXPECT_EQ(registry.PluginsWithAlias("Shape"), (Names{"Circle", "Square"}));
    EXPECT_EQ(registry.PluginsWithAlias("Circle"), (Names{"Circle"}));
    EXPECT_TRUE(registry.PluginsWithAlias("shape").empty());

    ASSERT_TRUE(registry.AddInfo(MakeRecord("Shape")));
    ExpectLookup(registry, "Shape", "Shape");
    EXPECT_EQ(registry.PluginsWithAlias("Shape"),
              (Names{"Circle", "Shape", "Square"}));
  }

  TEST_F(ShapeRegistry, ForgettingCarriersNarrowsAndEmptiesTheAlias)
  {
    registry.ForgetInfo("Square");
    ExpectLookup(registry, "Shape", "Circle");
    EXPECT_EQ(registry.PluginsWithAlias("Shape"), (Names{"Circle"}));
    EXPECT_EQ(registry.AllPlugins(), (Names{"Circle"}));

    registry.ForgetInfo("Circle");
    for (const std::string forgotten : {"Shape", "round", "Circle"})
    {
      ExpectLookup(registry, forgotten, "");
      EXPECT_TRUE(registry.PluginsWithAlias(forgotten).empty());
    }
    EXPECT_TRUE(registry.AllPlugins().empty());
    EXPECT_EQ(registry.PrettyStr(),
              "Registry state\n\tKnown Interfaces: 0\n\tKnown Plugins: 0\n\n");
  }

  TEST_F(ShapeRegistry, ForgetInfoOfAnUnknownNameChangesNothing)
  {
    const std::string before = registry.PrettyStr();
    for (const std::string unknown : {"Shape", "round", "circle", ""})
      registry.ForgetInfo(unknown);
    EXPECT_EQ(registry.PrettyStr(), before);
    ExpectLookup(registry, "round", "Circle");
  }

  TEST(Registry, AliasEqualToItsOwnNameFindsThePluginByName)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Self", {"Self", "me"})));
    ExpectLookup(registry, "Self", "Self");
    ExpectLookup(registry, "me", "Self");
    EXPECT_EQ(registry.PluginsWithAlias("Self"), (Names{"Self"}));

    registry.ForgetInfo("Self");
    ExpectLookup(registry, "Self", "");
    EXPECT_TRUE(registry.PluginsWithAlias("Self").empty());
  }

  TEST(Registry, AddInfoRefusesAPresentNameAndLeavesNoTraceOfIt)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Circle", {"round"}, {"T1"})));
    const Registry::ConstInfoPtr first = registry.GetInfo("Circle");

    EXPECT_FALSE(registry.AddInfo(MakeRecord("Circle", {"disc"}, {"T2"})));
    EXPECT_EQ(registry.GetInfo("Circle"), first);
    EXPECT_EQ(first->aliases, (Names{"round"}));
    EXPECT_EQ(InterfaceTypes(*first), (Names{"T1"}));
    ExpectLookup(registry, "disc", "");
    EXPECT_TRUE(registry.PluginsWithAlias("disc").empty());

    registry.ForgetInfo("Circle");
    ExpectLookup(registry, "round", "");
    ExpectLookup(registry, "disc", "");
  }

  TEST(Registry, StoresItsOwnCopyOfTheWholeRecord)
  {
    int object = 0;
    void *deleted = nullptr;
    Info offered = MakeRecord("Circle", {"round"}, {"T1"}, {"geo::T1"});
    offered.factory = [&object] { return static_cast<void *>(&object); };
    offered.deleter = [&deleted](void *target) { deleted = target; };

    Registry registry;
    ASSERT_TRUE(registry.AddInfo(offered));
    offered.Clear();

    const Registry::ConstInfoPtr stored = registry.GetInfo("Circle");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->name, "Circle");
    EXPECT_EQ(stored->aliases, (Names{"round"}));
    EXPECT_EQ(stored->demangledInterfaces, (Names{"geo::T1"}));
    ASSERT_EQ(InterfaceTypes(*stored), (Names{"T1"}));
    EXPECT_EQ(stored->interfaces.at("T1")(&object), &object);
    EXPECT_EQ(stored->factory(), &object);
    stored->deleter(&object);
    EXPECT_EQ(deleted, &object);
  }

  TEST(Registry, HandedOutRecordOutlivesForgetInfo)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Circle", {"round"}, {"T1"})));
    const Registry::ConstInfoPtr held = registry.GetInfo("Circle");

    registry.ForgetInfo("Circle");
    EXPECT_EQ(registry.GetInfo("Circle"), nullptr);
    EXPECT_TRUE(registry.AliasesOfPlugin("Circle").empty());
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(held->name, "Circle");
    EXPECT_EQ(held->aliases, (Names{"round"}));
    EXPECT_EQ(InterfaceTypes(*held), (Names{"T1"}));
  }

  TEST(Registry, AliasesOfPluginIsThePluginsOwnAliases)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Circle", {"round", "disc"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Point")));
    EXPECT_EQ(registry.AliasesOfPlugin("Circle"), (Names{"disc", "round"}));
    EXPECT_TRUE(registry.AliasesOfPlugin("Point").empty());
    EXPECT_TRUE(registry.AliasesOfPlugin("round").empty());
  }

  TEST(Registry, InterfaceQueriesKeepReadableAndAbiNamesApart)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(
        MakeRecord("Circle", {}, {"N3geo4AreaE", "N3geo8DrawableE"},
                   {"geo::Area", "geo::Drawable"})));
    ASSERT_TRUE(registry.AddInfo(
        MakeRecord("Square", {}, {"N3geo8DrawableE"}, {"geo::Drawable"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Point")));

    EXPECT_EQ(registry.InterfacesImplemented(),
              (HashNames{"geo::Area", "geo::Drawable"}));

    const struct
    {
      std::string interfaceName;
      bool demangled;
      HashNames expected;
    } cases[] = {
        {"geo::Drawable", true, {"Circle", "Square"}},
        {"geo::Area", true, {"Circle"}},
        {"N3geo8DrawableE", false, {"Circle", "Square"}},
        {"N3geo4AreaE", false, {"Circle"}},
        {"geo::Area", false, {}},
        {"N3geo4AreaE", true, {}},
        {"geo::area", true, {}},
    };
    for (const auto &query : cases)
    {
      SCOPED_TRACE(query.interfaceName + (query.demangled ? " readable"
                                                          : " ABI"));
      EXPECT_EQ(registry.PluginsImplementing(query.interfaceName,
                                             query.demangled),
                query.expected);
    }
    EXPECT_EQ(registry.PluginsImplementing("geo::Area"), (HashNames{"Circle"}));
  }

  /// The lines of `text`, each without its line end.
  std::multiset<std::string> LinesOf(const std::string &text)
  {
    std::multiset<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
      lines.insert(line);
    return lines;
  }

  TEST(RegistryReport, ListsInterfacesPluginsAndCollisions)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(
        MakeRecord("geo::Circle", {"disc", "shape"},
                   {"N3geo4AreaE", "N3geo8DrawableE"},
                   {"geo::Area", "geo::Drawable"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord(
        "geo::Square", {"shape"}, {"N3geo8DrawableE"}, {"geo::Drawable"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord("geo::Point")));

    const std::string head = "Registry state\n\tKnown Interfaces: 2\n";
    const std::string plugins = "\tKnown Plugins: 3\n"
                                "\t\t[geo::Circle]\n"
                                "\t\t\thas 2 aliases:\n"
                                "\t\t\t\t[disc]\n"
                                "\t\t\t\t[shape]\n"
                                "\t\t\timplements 2 interfaces:\n"
                                "\t\t\t\tgeo::Area\n"
                                "\t\t\t\tgeo::Drawable\n"
                                "\t\t[geo::Point]\n"
                                "\t\t\thas no aliases\n"
                                "\t\t\timplements 0 interfaces:\n"
                                "\t\t[geo::Square]\n"
                                "\t\t\thas 1 alias:\n"
                                "\t\t\t\t[shape]\n"
                                "\t\t\timplements 1 interface:\n"
                                "\t\t\t\tgeo::Drawable\n"
                                "\tThere is 1 alias with a name collision:\n"
                                "\t\t[shape] collides between:\n"
                                "\t\t\t[geo::Circle]\n"
                                "\t\t\t[geo::Square]\n"
                                "\n";

    // The interface lines follow the hash set, in no fixed order.
    const std::string report = registry.PrettyStr();
    ASSERT_GE(report.size(), head.size() + plugins.size());
    EXPECT_EQ(report.substr(0, head.size()), head);
    EXPECT_EQ(report.substr(report.size() - plugins.size()), plugins);
    EXPECT_EQ(LinesOf(report.substr(head.size(), report.size() -
                                                     head.size() -
                                                     plugins.size())),
              (std::multiset<std::string>{"\t\tgeo::Area",
                                          "\t\tgeo::Drawable"}));
  }

  TEST(RegistryReport, CountsSeveralCollisionsAndSkipsResolvedOnes)
  {
    Registry registry;
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Circle", {"round", "shape"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Square", {"round", "shape"})));
    // Counted by its ABI-named interface, listed by its (absent) readable one.
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Tri", {"poly"}, {"N3geo3TriE"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Hexa", {"poly", "six"})));
    ASSERT_TRUE(registry.AddInfo(MakeRecord("Oct", {"six"})));
    registry.ForgetInfo("Hexa");
    registry.ForgetInfo("Oct");

    EXPECT_EQ(registry.PrettyStr(),
              "Registry state\n"
              "\tKnown Interfaces: 0\n"
              "\tKnown Plugins: 3\n"
              "\t\t[Circle]\n"
              "\t\t\thas 2 aliases:\n"
              "\t\t\t\t[round]\n"
              "\t\t\t\t[shape]\n"
              "\t\t\timplements 0 interfaces:\n"
              "\t\t[Square]\n"
              "\t\t\thas 2 aliases:\n"
              "\t\t\t\t[round]\n"
              "\t\t\t\t[shape]\n"
              "\t\t\timplements 0 interfaces:\n"
              "\t\t[Tri]\n"
              "\t\t\thas 1 alias:\n"
              "\t\t\t\t[poly]\n"
              "\t\t\timplements 1 interface:\n"
              "\tThere are 2 aliases with a name collision:\n"
              "\t\t[round] collides between:\n"
              "\t\t\t[Circle]\n"
              "\t\t\t[Square]\n"
              "\t\t[shape] collides between:\n"
              "\t\t\t[Circle]\n"
              "\t\t\t[Square]\n"
              "\n");
  }
}
