#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Marker.hpp"
#include "Subprocess.hpp"

namespace
{
  using tova::test::ProgramResult;

  ProgramResult Tool(const std::vector<std::string> &args)
  {
    return tova::test::RunProgram(TOOL_PROGRAM, args);
  }


  const std::string parts = MANIFEST_FIXTURE_PARTS;
  const std::string missing = "/nonexistent/libnothing.so";
  const std::string missingReason =
      "Cannot read the manifest of [" + missing +
      "]: No such file or directory\n";

  TEST(Describe, PrintsTheManifestForAPerson)
  {
    const ProgramResult result = Tool({"describe", parts});
    EXPECT_EQ(result.out, parts +
                              "\n"
                              "  description: Three parts, one manifest\n"
                              "  license: MIT\n"
                              "  version: 1.4.2\n"
                              "  x-empty:\n"
                              "  plugin parts::Circle\n"
                              "    alias circle\n"
                              "    alias round\n"
                              "    implements shapes::Unversioned unversioned\n"
                              "    implements shapes::Versioned 2.1\n"
                              "    author: Ada\n"
                              "  plugin parts::Square\n"
                              "    implements shapes::Unversioned unversioned\n"
                              "    author: Grace\n"
                              "    sides: 4\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }

  TEST(Describe, GoesOnAfterAnUnreadableLibrary)
  {
    const ProgramResult result =
        Tool({"describe", missing, TOVA_FIXTURE_NO_PLUGINS});
    EXPECT_EQ(result.out, std::string(TOVA_FIXTURE_NO_PLUGINS) + "\n");
    EXPECT_EQ(result.err, missingReason);
    EXPECT_EQ(result.status, 1);
  }

  TEST(Describe, PrintsOneJsonDocument)
  {
    const ProgramResult result = Tool(
        {"describe", "--json", parts, missing, TOVA_FIXTURE_NO_PLUGINS});
    const auto expected = nlohmann::ordered_json::parse(R"({"libraries": [
      {"path": ")" + parts + R"(",
       "metadata": {"description": "Three parts, one manifest",
                    "license": "MIT", "version": "1.4.2", "x-empty": ""},
       "plugins": [
         {"name": "parts::Circle", "aliases": ["circle", "round"],
          "interfaces": [{"name": "shapes::Unversioned", "version": null},
                         {"name": "shapes::Versioned", "version": "2.1"}],
          "metadata": {"author": "Ada"}},
         {"name": "parts::Square", "aliases": [],
          "interfaces": [{"name": "shapes::Unversioned", "version": null}],
          "metadata": {"author": "Grace", "sides": "4"}}]},
      {"path": ")" + missing + R"(",
       "error": {"kind": "unreadable",
                 "message": ")" + missingReason.substr(0, missingReason.size() - 1) + R"("}},
      {"path": ")" TOVA_FIXTURE_NO_PLUGINS R"(", "metadata": {}, "plugins": []}
    ]})");
    EXPECT_EQ(nlohmann::ordered_json::parse(result.out), expected);
    EXPECT_EQ(result.out, expected.dump(2) + "\n");
    EXPECT_EQ(result.err, missingReason);
    EXPECT_EQ(result.status, 1);
  }

  TEST(Describe, GivesEachErrorKindItsJsonName)
  {
    const ProgramResult result =
        Tool({"describe", "--json", "/", __FILE__, TOOL_PROGRAM,
              MANIFEST_FIXTURE_TWO_VALUES});
    const auto document = nlohmann::json::parse(result.out);
    std::vector<std::string> kinds;
    for (const auto &library : document["libraries"])
      kinds.push_back(library["error"]["kind"]);
    EXPECT_THAT(kinds, testing::ElementsAre("unreadable", "not-elf",
                                            "no-manifest",
                                            "malformed-manifest"));
  }

  // Describing runs none of the library's code; checking runs it, in a
  // child process.
  TEST(Tool, RunsTheLibraryOnlyToCheckIt)
  {
    const std::string marker = tova::test::ArmConstructorMarker();
    Tool({"describe", parts});
    Tool({"describe", "--json", parts});
    EXPECT_FALSE(tova::test::FileExists(marker));
    Tool({"check", parts});
    EXPECT_TRUE(tova::test::FileExists(marker));
  }

  TEST(Check, IsSilentOnCleanLibraries)
  {
    std::vector<std::string> args{"check", parts, MANIFEST_FIXTURE_STRIPPED,
                                  MANIFEST_FIXTURE_SHAPES,
                                  TOVA_FIXTURE_NO_PLUGINS};
    if (*MANIFEST_FIXTURE_SHAPES_CLANG)
      args.push_back(MANIFEST_FIXTURE_SHAPES_CLANG);
    const ProgramResult result = Tool(args);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }

  TEST(Check, ReportsOneLinePerFindingAndGoesOn)
  {
    const std::string limits = MANIFEST_FIXTURE_LIMITS;
    const std::string exits = MANIFEST_FIXTURE_EXIT;
    const std::string aborts = MANIFEST_FIXTURE_ABORT;
    const std::string unique = MANIFEST_FIXTURE_UNIQUE;
    const std::string noManifest = TOVA_FIXTURE_NO_PLUGINS;
    const ProgramResult result =
        Tool({"check", limits, exits, missing, aborts, unique, parts});
    EXPECT_EQ(result.out,
              limits + ": plugin [limits::Unsigned<3>] is only in the "
                       "manifest\n" +
                  limits + ": plugin [limits::Unsigned<3u>] is only in the "
                           "loaded library\n" +
                  exits + ": the library ended the process while loading "
                          "(exit status 3)\n" +
                  aborts + ": the library crashed while loading (signal 6: "
                           "Aborted)\n" +
                  unique + ": GNU unique symbol [_ZN6Shared4usesE] "
                           "(Shared::uses) keeps the library loaded for "
                           "ever\n");
    EXPECT_EQ(result.err, missingReason);
    EXPECT_EQ(result.status, 1);
  }

  // A bare file name is the file in the working directory, for the manifest
  // and for the load alike, not one that the platform's search finds.
  TEST(Check, LoadsTheFileItReadByABareName)
  {
    const std::string directory = parts.substr(0, parts.rfind('/'));
    const std::string name = parts.substr(parts.rfind('/') + 1);
    const ProgramResult result = tova::test::RunProgram(
        "/bin/sh", {"-c", "cd \"$1\" && exec \"$2\" check \"$3\"", "sh",
                    directory, TOOL_PROGRAM, name});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }

  TEST(Check, PrintsOneJsonDocument)
  {
    const std::string limits = MANIFEST_FIXTURE_LIMITS;
    const ProgramResult result =
        Tool({"check", "--json", limits, missing, parts});
    const auto expected = nlohmann::ordered_json::parse(R"({"libraries": [
      {"path": ")" + limits + R"(",
       "findings": ["plugin [limits::Unsigned<3>] is only in the manifest",
                    "plugin [limits::Unsigned<3u>] is only in the loaded library"]},
      {"path": ")" + missing + R"(",
       "error": {"kind": "unreadable",
                 "message": ")" + missingReason.substr(0, missingReason.size() - 1) + R"("}},
      {"path": ")" + parts + R"(", "findings": []}
    ]})");
    EXPECT_EQ(result.out, expected.dump(2) + "\n");
    EXPECT_EQ(result.err, missingReason);
    EXPECT_EQ(result.status, 1);
  }

  TEST(Check, ReportsALibraryWithoutManifest)
  {
    const std::string library = TOVA_FIXTURE_BAD_VERSION;
    const ProgramResult result = Tool({"check", library});
    EXPECT_EQ(result.out, library + ": no manifest\n");
    EXPECT_EQ(result.status, 1);
  }

  struct Usage
  {
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
  };

  class ToolUsage : public testing::TestWithParam<Usage>
  {
  };

  TEST_P(ToolUsage, HasCliStatusesAndMessages)
  {
    const ProgramResult result = Tool(GetParam().args);
    EXPECT_EQ(result.out, GetParam().out);
    EXPECT_EQ(result.err, GetParam().err);
    EXPECT_EQ(result.status, GetParam().status);
  }

  const std::string runWithHelp = "Run with --help for more information.\n";

  INSTANTIATE_TEST_SUITE_P(
      CommandLines, ToolUsage,
      testing::Values(
          Usage{{"--version"}, "4.0.0\n", "", 0},
          Usage{{}, "", "A subcommand is required\n" + runWithHelp, 2},
          Usage{{"describe"}, "", "PATH is required\n" + runWithHelp, 2},
          Usage{{"check"}, "", "PATH is required\n" + runWithHelp, 2},
          Usage{{"list", "x"}, "", "A subcommand is required\n" + runWithHelp,
                2},
          Usage{{"describe", "--xml", "x"},
                "",
                "The following argument was not expected: --xml\n" +
                    runWithHelp,
                2}));

  TEST(Tool, HelpNamesTheSubcommandsAndThatCheckRunsTheLibrary)
  {
    const ProgramResult help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, testing::HasSubstr("describe"));
    EXPECT_THAT(help.out, testing::HasSubstr("check"));
    const ProgramResult checkHelp = Tool({"check", "--help"});
    EXPECT_EQ(checkHelp.status, 0);
    EXPECT_THAT(checkHelp.out, testing::HasSubstr("runs the library's code"));
    const ProgramResult describeHelp = Tool({"describe", "--help"});
    EXPECT_EQ(describeHelp.status, 0);
    EXPECT_THAT(describeHelp.out, testing::HasSubstr("--json"));
  }
}
