#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TovaFormatter.hpp"

namespace
{
  using tova::plugin::TovaFormatter;

  TEST(InspectorFormatter, NameTextPutsShortNamesFirstAndLongNamesInBrackets)
  {
    struct Case
    {
      std::string registered;
      std::string expected;
    };
    const std::vector<Case> cases = {
        {"-y,--yes", "-y [--yes]"},
        {"--version", "--version"},
        {"-x", "-x"},
        {"-a,-b", "-a,-b"},
        {"-a,-b,--alpha,--beta", "-a,-b [--alpha,--beta]"},
        {"--alpha,-a,--beta,-b", "-a,-b [--alpha,--beta]"},
    };
    for (const Case &c : cases)
    {
      SCOPED_TRACE(c.registered);
      CLI::App app;
      const CLI::Option *flag = app.add_flag(c.registered, "A flag.");
      const TovaFormatter formatter(&app);
      EXPECT_EQ(formatter.make_option_name(flag, false), c.expected);
    }
  }

  TEST(InspectorFormatter, HelpFlagAndPositionalNames)
  {
    CLI::App app;
    std::string file;
    const CLI::Option *positional = app.add_option("file,-f,--file", file);
    const TovaFormatter formatter(&app);
    EXPECT_EQ(formatter.make_option_name(app.get_help_ptr(), false),
              "-h [--help]");
    EXPECT_EQ(formatter.make_option_name(positional, true), "file");
    EXPECT_EQ(formatter.make_option_name(positional, false), "-f [--file]");
  }

  TEST(InspectorFormatter, ValueTextShowsTypeDefaultCountAndEnvironment)
  {
    CLI::App app;
    std::string text;
    std::vector<std::string> many;
    std::vector<std::string> three;
    std::vector<std::string> both;
    bool flag = false;
    bool envFlag = false;
    const CLI::Option *plain = app.add_option("--plain", text);
    const CLI::Option *withDefault =
        app.add_option("--default", text)->default_str("x");
    const CLI::Option *unlimited = app.add_option("--many", many);
    const CLI::Option *fixedCount = app.add_option("--three", three)->expected(3);
    const CLI::Option *everything = app.add_option("--both", both)
                                        ->default_str("y")
                                        ->envname("BOTH_VAR")
                                        ->required();
    const CLI::Option *flagWithDefault =
        app.add_flag("--flag", flag)->default_str("true");
    const CLI::Option *flagWithEnv = app.add_flag("--env", envFlag)->envname("ENV_VAR");
    const TovaFormatter formatter(&app);

    EXPECT_EQ(formatter.make_option_opts(plain), " TEXT");
    EXPECT_EQ(formatter.make_option_opts(withDefault), " TEXT=x");
    EXPECT_EQ(formatter.make_option_opts(unlimited), " TEXT ...");
    EXPECT_EQ(formatter.make_option_opts(fixedCount), " TEXT x 3");
    EXPECT_EQ(formatter.make_option_opts(everything),
              " TEXT=y ... (Env:BOTH_VAR)");
    EXPECT_EQ(formatter.make_option_opts(flagWithDefault), "");
    EXPECT_EQ(formatter.make_option_opts(flagWithEnv), " (Env:ENV_VAR)");
  }

  TEST(InspectorFormatter, ValueTextLeavesRemarksToTheDescription)
  {
    CLI::App app;
    std::string a;
    std::string b;
    CLI::Option *optionA = app.add_option("-a", a)->required();
    CLI::Option *optionB = app.add_option("-b", b);
    optionA->needs(optionB);
    optionA->excludes(app.add_flag("-c"));
    optionA->option_text("OWN TEXT");
    const TovaFormatter formatter(&app);
    EXPECT_EQ(formatter.make_option_opts(optionA), " TEXT");
  }

  TEST(InspectorFormatter, DescriptionListsRemarksOnLinesOfTheirOwn)
  {
    CLI::App app;
    std::string value;
    CLI::Option *info = app.add_flag("-i,--info", "Get info.");
    CLI::Option *plugin = app.add_option("-p,--plugin", value, "Path.");
    CLI::Option *required = app.add_option("--required", value, "Must be.")
                                ->required();
    info->needs(plugin);
    const TovaFormatter formatter(&app);

    EXPECT_EQ(formatter.make_option_desc(info), "Get info.\nRequires: --plugin\n");
    EXPECT_EQ(formatter.make_option_desc(plugin),
              "Path.\nRequired by: --info\n");
    EXPECT_EQ(formatter.make_option_desc(required), "Must be.\nREQUIRED\n");
    EXPECT_EQ(formatter.make_option_desc(app.get_help_ptr()),
              "Print this help message and exit\n");
  }

  TEST(InspectorFormatter, DescriptionWithEveryRemarkAndEmptyText)
  {
    CLI::App app;
    CLI::Option *a = app.add_flag("-a")->required();
    CLI::Option *b = app.add_flag("--bee");
    CLI::Option *c = app.add_flag("-c,--cee");
    CLI::Option *d = app.add_flag("-d");
    a->needs(b);
    d->needs(a);
    a->excludes(c);
    const TovaFormatter formatter(&app);

    EXPECT_EQ(formatter.make_option_desc(a),
              "\nREQUIRED\nRequires: --bee\nRequired by: -d\nExcludes: --cee\n");
    EXPECT_EQ(formatter.make_option_desc(c), "\nExcludes: -a\n");
  }

  // Several entries under one name come in no fixed order.
  TEST(InspectorFormatter, TwoRelationsOfOneKindGiveTwoLines)
  {
    CLI::App app;
    CLI::Option *a = app.add_flag("-a", "A.");
    CLI::Option *b = app.add_flag("-b", "B.");
    CLI::Option *c = app.add_flag("-c", "C.");
    CLI::Option *x = app.add_flag("-x", "X.");
    a->needs(b);
    a->needs(c);
    x->excludes(b);
    x->excludes(c);
    const TovaFormatter formatter(&app);

    const std::string needsText = formatter.make_option_desc(a);
    EXPECT_TRUE(needsText == "A.\nRequires: -b\nRequires: -c\n" ||
                needsText == "A.\nRequires: -c\nRequires: -b\n")
        << needsText;
    const std::string excludesText = formatter.make_option_desc(x);
    EXPECT_TRUE(excludesText == "X.\nExcludes: -b -c\n" ||
                excludesText == "X.\nExcludes: -c -b\n")
        << excludesText;
    EXPECT_EQ(formatter.make_option_desc(b), "B.\nRequired by: -a\nExcludes: -x\n");
  }

  TEST(InspectorFormatter, RelationsAddedAfterConstructionAreNotShown)
  {
    CLI::App app;
    CLI::Option *a = app.add_flag("-a", "A.");
    CLI::Option *b = app.add_flag("-b", "B.");
    const TovaFormatter formatter(&app);
    a->needs(b);
    EXPECT_EQ(formatter.make_option_desc(a), "A.\n");
    EXPECT_EQ(formatter.make_option_desc(b), "B.\n");
  }

  TEST(InspectorFormatter, ReadsRelationsOfDirectSubcommandsOnly)
  {
    CLI::App app;
    CLI::App *sub = app.add_subcommand("sub");
    CLI::App *nested = sub->add_subcommand("nested");
    CLI::Option *subA = sub->add_flag("--alpha", "Sub A.");
    CLI::Option *subB = sub->add_flag("--beta", "Sub B.");
    CLI::Option *nestedA = nested->add_flag("--gamma", "Nested A.");
    CLI::Option *nestedB = nested->add_flag("--delta", "Nested B.");
    subA->needs(subB);
    nestedA->needs(nestedB);
    const TovaFormatter formatter(&app);

    EXPECT_EQ(formatter.make_option_desc(subA), "Sub A.\nRequires: --beta\n");
    EXPECT_EQ(formatter.make_option_desc(subB), "Sub B.\nRequired by: --alpha\n");
    EXPECT_EQ(formatter.make_option_desc(nestedA), "Nested A.\n");
    EXPECT_EQ(formatter.make_option_desc(nestedB), "Nested B.\n");
  }

  // Options are keyed by display name alone, so a namesake elsewhere shares
  // the relation lines.
  TEST(InspectorFormatter, NamesakesShareTheirRelations)
  {
    CLI::App app;
    CLI::App *sub = app.add_subcommand("sub");
    CLI::Option *topA = app.add_flag("--alpha", "Top A.");
    app.add_flag("--beta", "Top B.");
    sub->add_flag("--alpha", "Sub A.")->needs(sub->add_flag("--beta", "Sub B."));
    const TovaFormatter formatter(&app);
    EXPECT_EQ(formatter.make_option_desc(topA), "Top A.\nRequires: --beta\n");
  }

  TEST(InspectorFormatter, OptionLineLaysOutTheThreeTexts)
  {
    CLI::App app;
    std::string value;
    CLI::Option *plugin = app.add_option("-p,--plugin", value, "Path to a plugin.");
    app.add_flag("-i,--info", "Get info about a plugin.")->needs(plugin);
    const TovaFormatter formatter(&app);
    const std::string pad(30, ' ');
    EXPECT_EQ(formatter.make_option(plugin, false),
              "  -p [--plugin] TEXT          Path to a plugin.\n" + pad +
                  "Required by: --info\n" + pad + "\n");
  }
}
