// `tova-plugin scan`, run as a user runs it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CatalogSupport.hpp"
#include "Subprocess.hpp"

namespace tova::test
{
  namespace
  {
    ProgramResult Tool(const std::vector<std::string> &args)
    {
      return RunProgram(TOOL_PROGRAM, args);
    }

    /// Two builds of one plugin, a library without manifest and garbage.
    class ScanTool : public testing::Test
    {
    protected:
      ScanTool()
      {
        Install(TOVA_CATALOG_GREETER_1, this->Path("a.so"));
        Install(TOVA_CATALOG_GREETER_2, this->Path("b.so"));
        Install(TOVA_FIXTURE_BAD_VERSION, this->Path("bare.so"));
        WriteFile(this->Path("bad.so"), "garbage");
      }

      std::string Path(const std::string &name) const
      {
        return this->directory.Path(name);
      }

      TemporaryDirectory directory;
    };

    std::string Library(const std::string &path, int build)
    {
      return path + "\n  build: " + std::to_string(build) +
             "\n  plugin catalog_fixture::Hello\n    alias hello\n"
             "    implements catalog_fixture::Greeter 1.2\n";
    }
  }

  TEST_F(ScanTool, PrintsWhatTheCatalogKnowsForAPerson)
  {
    const ProgramResult result = Tool({"scan", this->directory.Path()});
    const std::string cannot = "Cannot read the manifest of [";
    EXPECT_EQ(Library(this->Path("a.so"), 1) + "\n" +
                  Library(this->Path("b.so"), 2) +
                  "\nshadowed catalog_fixture::Hello in " + this->Path("b.so") +
                  " by " + this->Path("a.so") + "\nunreadable " + cannot +
                  this->Path("bad.so") + "]: not an ELF file\nno manifest " +
                  this->Path("bare.so") + "\n",
              result.out);
    EXPECT_EQ(cannot + this->Path("bad.so") + "]: not an ELF file\n" + cannot +
                  this->Path("bare.so") + "]: the file has no manifest\n",
              result.err);
    EXPECT_EQ(1, result.status);
  }

  TEST_F(ScanTool, PrintsOneJsonDocument)
  {
    const std::string missing = this->Path("missing");
    const ProgramResult result =
        Tool({"scan", "--json", this->directory.Path(), missing});
    const auto document = nlohmann::json::parse(result.out);
    ASSERT_EQ(5u, document["libraries"].size());
    EXPECT_EQ("1", document["libraries"][0]["metadata"]["build"]);
    EXPECT_EQ("1.2", document["libraries"][1]["plugins"][0]["interfaces"][0]
                                          ["version"]);
    EXPECT_EQ((nlohmann::json{{"kind", "not-elf"},
                              {"message", "Cannot read the manifest of [" +
                                              this->Path("bad.so") +
                                              "]: not an ELF file"}}),
              document["libraries"][2]["error"]);
    EXPECT_EQ("no-manifest", document["libraries"][3]["error"]["kind"]);
    EXPECT_EQ((nlohmann::json{{"kind", "unreadable"},
                              {"message", "Cannot read the directory [" +
                                              missing +
                                              "]: No such file or directory"}}),
              document["libraries"][4]["error"]);
    EXPECT_EQ((nlohmann::json::array({{{"name", "catalog_fixture::Hello"},
                                       {"library", this->Path("b.so")},
                                       {"winner", this->Path("a.so")}}})),
              document["shadowed"]);
    EXPECT_EQ(1, result.status);
  }

  TEST(ScanToolUsage, ADirectoryIsRequiredAndACleanDirectoryIsSuccess)
  {
    EXPECT_EQ(2, Tool({"scan"}).status);
    TemporaryDirectory directory;
    Install(TOVA_CATALOG_GREETER_3, directory.Path("only.so"));
    const ProgramResult result = Tool({"scan", directory.Path()});
    EXPECT_EQ(Library(directory.Path("only.so"), 3), result.out);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.status);
  }
}
