#include <gtest/gtest.h>

#include <string>

#include <tova/plugin/RegisterStatic.hpp>
#include <tova/plugin/StaticRegistry.hpp>
#include <tova/plugin/detail/TypeName.hpp>

#include "TestSupport.hpp"

// The registry is process-wide: every test uses plugin names of its own.

namespace app
{
  struct Sink
  {
    virtual ~Sink() = default;
    virtual int Write() = 0;
  };

  struct Named
  {
    virtual ~Named() = default;
    virtual std::string Name() const = 0;
  };

  class Logger : public Sink, public Named
  {
  public:
    static inline int live = 0;

    Logger() { ++live; }
    ~Logger() override { --live; }

    int Write() override { return 7; }
    std::string Name() const override { return "logger"; }
  };
}

TOVA_PLUGIN_REGISTER_STATIC(app::Logger, app::Sink, app::Named);
TOVA_PLUGIN_ALIASES_STATIC(app::Logger, "logger", "log");

namespace ns
{
  struct Circle {};
  struct Merged {};
  struct Copied {};
  struct Kept {};
  struct Left {};
  struct Right {};
  struct A {};
  struct B {};
}

namespace
{
  using namespace tova::test;
  using tova::plugin::StaticRegistry;
  using tova::plugin::detail::TypeName;

  StaticRegistry &Static() { return StaticRegistry::GetInstance(); }

  /// Expects `nameOrAlias` to resolve to `expected` without a message.
  void ExpectSilentLookup(const std::string &nameOrAlias,
                          const std::string &expected)
  {
    SCOPED_TRACE("LookupPlugin(\"" + nameOrAlias + "\")");
    std::string resolved;
    EXPECT_EQ(StderrOf([&] { resolved = Static().LookupPlugin(nameOrAlias); }),
              "");
    EXPECT_EQ(resolved, expected);
  }

  void *Identity(void *object) { return object; }
  void *Shifted(void *object) { return static_cast<char *>(object) + 1; }

  TEST(StaticRegistry, GetInstanceReturnsTheSameInstance)
  {
    EXPECT_EQ(&StaticRegistry::GetInstance(), &StaticRegistry::GetInstance());
  }

  TEST(StaticRegistry, MacrosRegisterReadableNamesWithWorkingFunctions)
  {
    EXPECT_EQ(Static().AllPlugins().count("app::Logger"), 1u);
    EXPECT_EQ(Static().AllPlugins().count(TypeName<app::Logger>()), 0u);
    ExpectSilentLookup("logger", "app::Logger");
    ExpectSilentLookup("log", "app::Logger");

    const auto info = Static().GetInfo("app::Logger");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "app::Logger");
    EXPECT_EQ(info->aliases, (Names{"log", "logger"}));
    EXPECT_EQ(info->demangledInterfaces, (Names{"app::Named", "app::Sink"}));
    ASSERT_EQ(InterfaceTypes(*info),
              (Names{TypeName<app::Named>(), TypeName<app::Sink>()}));

    void *object = info->factory();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(app::Logger::live, 1);
    auto *sink = static_cast<app::Sink *>(
        info->interfaces.at(TypeName<app::Sink>())(object));
    auto *named = static_cast<app::Named *>(
        info->interfaces.at(TypeName<app::Named>())(object));
    EXPECT_EQ(sink->Write(), 7);
    EXPECT_EQ(named->Name(), "logger");
    info->deleter(object);
    EXPECT_EQ(app::Logger::live, 0);
  }

  TEST(StaticRegistry, RegistersUnderTheReadableNameOnly)
  {
    Info offered = MakeRecord(TypeName<ns::Circle>(), {"ring"},
                              {TypeName<ns::A>()}, {"pre::Given"});
    EXPECT_TRUE(Static().AddInfo(offered));

    EXPECT_EQ(Static().AllPlugins().count("ns::Circle"), 1u);
    EXPECT_EQ(Static().GetInfo(TypeName<ns::Circle>()), nullptr);
    ExpectSilentLookup("ns::Circle", "ns::Circle");
    ExpectSilentLookup("ring", "ns::Circle");
    ExpectSilentLookup(TypeName<ns::Circle>(), "");

    const auto info = Static().GetInfo("ns::Circle");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "ns::Circle");
    EXPECT_EQ(info->demangledInterfaces, (Names{"ns::A", "pre::Given"}));
    EXPECT_EQ(InterfaceTypes(*info), (Names{TypeName<ns::A>()}));
    EXPECT_EQ(Static().PluginsImplementing("ns::A"),
              (StaticRegistry::PluginNameSet{"ns::Circle"}));
  }

  TEST(StaticRegistry, RepeatedRegistrationsMergeIntoTheFirst)
  {
    int first = 0;
    int second = 0;
    Info offered =
        MakeRecord(TypeName<ns::Merged>(), {"x"}, {}, {"ignored::Never"});
    offered.interfaces.emplace(TypeName<ns::A>(), &Identity);
    offered.factory = [&first] { return static_cast<void *>(&first); };
    offered.deleter = [&first](void *) { ++first; };
    ASSERT_TRUE(Static().AddInfo(offered));
    const auto before = Static().GetInfo("ns::Merged");

    Info repeated = MakeRecord(TypeName<ns::Merged>(), {"y"}, {},
                               {"ignored::Twice"});
    repeated.interfaces.emplace(TypeName<ns::A>(), &Shifted);
    repeated.interfaces.emplace(TypeName<ns::B>(), &Shifted);
    repeated.factory = [&second] { return static_cast<void *>(&second); };
    repeated.deleter = [&second](void *) { ++second; };
    EXPECT_TRUE(Static().AddInfo(repeated));

    EXPECT_EQ(Static().AllPlugins().count("ns::Merged"), 1u);
    const auto merged = Static().GetInfo("ns::Merged");
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->name, "ns::Merged");
    EXPECT_EQ(merged->aliases, (Names{"x", "y"}));
    EXPECT_EQ(merged->demangledInterfaces,
              (Names{"ignored::Never", "ns::A", "ns::B"}));
    ASSERT_EQ(InterfaceTypes(*merged),
              (Names{TypeName<ns::A>(), TypeName<ns::B>()}));
    EXPECT_EQ(merged->interfaces.at(TypeName<ns::A>())(&first), &first);
    EXPECT_EQ(merged->interfaces.at(TypeName<ns::B>())(&first),
              Shifted(&first));
    EXPECT_EQ(merged->factory(), &first);
    merged->deleter(nullptr);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);

    for (const std::string alias : {"x", "y"})
    {
      EXPECT_EQ(Static().PluginsWithAlias(alias), (Names{"ns::Merged"}));
      ExpectSilentLookup(alias, "ns::Merged");
    }

    // A record handed out earlier keeps what it had.
    EXPECT_EQ(before->aliases, (Names{"x"}));
    EXPECT_EQ(InterfaceTypes(*before), (Names{TypeName<ns::A>()}));
  }

  TEST(StaticRegistry, GetInfoMakesAFreshCopyEachCall)
  {
    ASSERT_TRUE(Static().AddInfo(MakeRecord(TypeName<ns::Copied>(), {"copy"},
                                            {TypeName<ns::A>()})));
    const auto one = Static().GetInfo("ns::Copied");
    const auto two = Static().GetInfo("ns::Copied");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_NE(one, two);
    EXPECT_EQ(one->name, two->name);
    EXPECT_EQ(one->aliases, two->aliases);
    EXPECT_EQ(one->demangledInterfaces, two->demangledInterfaces);
    EXPECT_EQ(InterfaceTypes(*one), InterfaceTypes(*two));

    EXPECT_EQ(StderrOf([] { EXPECT_EQ(Static().GetInfo("ns::None"), nullptr); }),
              "");
  }

  TEST(StaticRegistry, ForgetInfoHasNoEffect)
  {
    ASSERT_TRUE(Static().AddInfo(MakeRecord(TypeName<ns::Kept>(), {"kept"})));
    Static().ForgetInfo("ns::Kept");
    EXPECT_EQ(Static().AllPlugins().count("ns::Kept"), 1u);
    ExpectSilentLookup("ns::Kept", "ns::Kept");
    ExpectSilentLookup("kept", "ns::Kept");
  }

  TEST(StaticRegistry, AliasOfTwoPluginsIsAmbiguous)
  {
    ASSERT_TRUE(Static().AddInfo(MakeRecord(TypeName<ns::Left>(), {"side"})));
    ASSERT_TRUE(Static().AddInfo(MakeRecord(TypeName<ns::Right>(), {"side"})));

    std::string resolved = "unset";
    EXPECT_EQ(StderrOf([&] { resolved = Static().LookupPlugin("side"); }),
              "[tova::plugin::Registry::LookupPlugin] Failed to resolve the "
              "alias [side] because it refers to multiple plugins:\n"
              " -- [ns::Left]\n"
              " -- [ns::Right]\n");
    EXPECT_EQ(resolved, "");
    EXPECT_EQ(Static().PluginsWithAlias("side"),
              (Names{"ns::Left", "ns::Right"}));

    const std::string report = Static().PrettyStr();
    for (const std::string block :
         {"\t\t[ns::Left]\n\t\t\thas 1 alias:\n\t\t\t\t[side]\n"
          "\t\t\timplements 0 interfaces:\n",
          "\t\t[side] collides between:\n\t\t\t[ns::Left]\n"
          "\t\t\t[ns::Right]\n"})
      EXPECT_NE(report.find(block), std::string::npos) << block;
  }

  TEST(StaticRegistry, UnreadableNamesAreReportedAndKeptAsGiven)
  {
    const std::string messages = StderrOf([] {
      EXPECT_TRUE(Static().AddInfo(
          MakeRecord("ns::Readable", {}, {"ns::AlsoReadable"})));
    });
    EXPECT_EQ(messages,
              "[Demangle] Failed to demangle the symbol name [ns::Readable]. "
              "Error code: -2\n"
              "[Demangle] Failed to demangle the symbol name "
              "[ns::AlsoReadable]. Error code: -2\n");

    const auto info = Static().GetInfo("ns::Readable");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->demangledInterfaces, (Names{"ns::AlsoReadable"}));
  }
}
