#include <dlfcn.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <support/Reports.hpp>

#include "Subprocess.hpp"

namespace
{
  using tova::test::ProgramResult;
  using tova::test::RunProgram;
  using Args = std::vector<std::string>;
  using Names = std::vector<std::string>;

  const std::string kProgram = INSPECTOR_PROGRAM;
  const std::string kOnePlugin = TOVA_FIXTURE_ONE_PLUGIN;
  const std::string kMissingLibrary = "/nonexistent/libtova-missing.so";

  ProgramResult RunInspector(const Args &args)
  {
    return RunProgram(kProgram, args);
  }

  // The help screen as this CLI11 lays it out with the inspector's
  // formatter: description, usage, one group, and a blank line (indented
  // to the description column) after every option.
  std::string HelpScreen()
  {
    const std::string blank = std::string(30, ' ') + "\n";
    return "Print information about plugins.\n"
           "\n"
           "Usage: " + kProgram + " [OPTIONS]\n"
           "\n"
           "Options:\n"
           "  -h [--help]                 Print this help message and exit\n" +
           blank +
           "  --version                   Print version number\n" + blank +
           "  -v [--verbose]              Print verbose info.\n" + blank +
           "  -p [--plugin] TEXT          Path to a plugin.\n"
           "                              Required by: --info\n" + blank +
           "  -i [--info]                 Get info about a plugin.\n"
           "                              Requires: --plugin\n" + blank +
           "\n";
  }

  std::string NameList(const char *noun, Names names)
  {
    std::sort(names.begin(), names.end());
    std::ostringstream out;
    out << "* Found " << names.size() << " " << noun
        << (names.size() == 1 ? "" : "s") << " in library file:\n";
    for (const std::string &name : names)
      out << "  - " << name << "\n";
    return out.str();
  }

  std::string LoadingLine(const std::string &path)
  {
    return "Loading plugin library file [" + path + "]\n";
  }

  std::string ShortReport(const std::string &path, const Names &plugins,
                          const Names &interfaces)
  {
    return LoadingLine(path) + NameList("plugin", plugins) +
           NameList("interface", interfaces);
  }

  // The names within each list come in no fixed order; sorting every run
  // of list lines lets whole reports be compared.
  std::string WithSortedLists(const std::string &report)
  {
    std::istringstream in(report);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line + "\n");
    const auto isListLine = [](const std::string &line) {
      return line.rfind("  - ", 0) == 0;
    };
    for (auto it = lines.begin(); it != lines.end();)
    {
      const auto runEnd = std::find_if_not(it, lines.end(), isListLine);
      std::sort(it, runEnd);
      it = runEnd == it ? it + 1 : runEnd;
    }
    std::string sorted;
    for (const std::string &line : lines)
      sorted += line;
    if (!report.empty() && report.back() != '\n')
      sorted.pop_back();
    return sorted;
  }

  std::string DlopenError(const std::string &path)
  {
    dlerror();
    EXPECT_EQ(dlopen(path.c_str(), RTLD_LAZY), nullptr);
    const char *error = dlerror();
    return error == nullptr ? "" : error;
  }

  std::string SizeMessage(const std::string &path, int size, int alignment)
  {
    return "The plugin::Info size or alignment are not consistent with the "
           "expected values for the library [" + path + "]:\n"
           " -- size: expected 248 | received " + std::to_string(size) + "\n"
           " -- alignment: expected 8 | received " + std::to_string(alignment) +
           "\n"
           " -- We will not be able to safely load plugins from that library.\n";
  }

  std::string VerboseReportOfOnePlugin()
  {
    return LoadingLine(kOnePlugin) + tova::test::OnePluginLoaderReport() +
           "\n";
  }

  struct ReportCase
  {
    std::string path;
    Names plugins;
    Names interfaces;
    std::string err;
  };

  TEST(InspectorProgram, ReportsWhatEachLibraryHolds)
  {
    const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;
    const std::string noPlugins = TOVA_FIXTURE_NO_PLUGINS;
    const std::string noHook = TOVA_FIXTURE_NO_HOOK;
    const std::string badVersion = TOVA_FIXTURE_BAD_VERSION;
    const std::string badSize = TOVA_FIXTURE_BAD_SIZE;
    const std::string badAlignment = TOVA_FIXTURE_BAD_ALIGNMENT;
    const std::string nullOutput = TOVA_FIXTURE_NULL_OUTPUT;
    // Echoed as given, without normalisation.
    const std::string unnormalised =
        kOnePlugin.substr(0, kOnePlugin.rfind('/')) + "/./" +
        kOnePlugin.substr(kOnePlugin.rfind('/') + 1);

    const std::vector<ReportCase> cases = {
        {kOnePlugin, {"fixture::Single"}, {"fixture::Shape"}, ""},
        {unnormalised, {"fixture::Single"}, {"fixture::Shape"}, ""},
        {twoPlugins,
         {"fixture::Circle", "fixture::Square"},
         {"fixture::Shape", "fixture::Printable"},
         ""},
        {noPlugins, {}, {}, ""},
        {kMissingLibrary, {}, {},
         "Error while loading the library [" + kMissingLibrary +
             "]: " + DlopenError(kMissingLibrary) + "\n"},
        {noHook, {}, {},
         "Library [" + noHook +
             "] does not export any plugins. The symbol [TovaPluginHook] is "
             "missing, or it is not externally visible.\n"},
        {badVersion, {}, {},
         "The library [" + badVersion +
             "] is using an incompatible version [2] of the tova::plugin "
             "Info API. The version in this library is [1].\n"},
        {badSize, {}, {}, SizeMessage(badSize, 256, 8)},
        {badAlignment, {}, {}, SizeMessage(badAlignment, 248, 4)},
        {nullOutput, {}, {},
         "The library [" + nullOutput +
             "] failed to provide tova::plugin Info for unknown reasons. "
             "Please report this error as a bug!\n"},
    };
    for (const ReportCase &c : cases)
    {
      SCOPED_TRACE(c.path);
      const ProgramResult result = RunInspector({"-i", "-p", c.path});
      EXPECT_EQ(WithSortedLists(result.out),
                ShortReport(c.path, c.plugins, c.interfaces));
      EXPECT_EQ(result.err, c.err);
      EXPECT_EQ(result.status, 0);
    }
  }

  TEST(InspectorProgram, EmptyPathIsRejectedWithoutLoading)
  {
    const ProgramResult result = RunInspector({"-i", "-p", ""});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "Invalid plugin file name. Plugin name must not be empty.\n");
    EXPECT_EQ(result.status, 0);
  }

  TEST(InspectorProgram, HelpScreen)
  {
    const ProgramResult result = RunInspector({"--help"});
    EXPECT_EQ(result.out, HelpScreen());
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }

  struct CommandLineCase
  {
    Args args;
    std::string out;
    std::string err;
    int status;
  };

  TEST(InspectorProgram, CommandLineCases)
  {
    const std::string help = HelpScreen();
    const std::string shortReport =
        ShortReport(kOnePlugin, {"fixture::Single"}, {"fixture::Shape"});
    const std::string verbose = VerboseReportOfOnePlugin();
    const std::string rerun = "Run with --help for more information.\n";
    const std::string requires = "--info requires --plugin\n" + rerun;
    const std::string missingValue = "--plugin: 1 required TEXT missing\n" + rerun;
    const std::string version = TOVA_PLUGIN_VERSION "\n";

    const std::vector<CommandLineCase> cases = {
        {{}, help, "", 0},
        {{"-h"}, help, "", 0},
        {{"-p", kOnePlugin}, help, "", 0},
        {{"-v"}, help, "", 0},
        {{"-i", "-p", kOnePlugin}, shortReport, "", 0},
        {{"--info", "--plugin", kOnePlugin}, shortReport, "", 0},
        {{"-i", "-p", kOnePlugin, "-v"}, verbose, "", 0},
        {{"-v", "-i", "-p", kOnePlugin}, verbose, "", 0},
        {{"-p", kOnePlugin, "--verbose", "-i"}, verbose, "", 0},
        {{"-i"}, "", requires, 107},
        {{"-v", "-i"}, "", requires, 107},
        {{"-h", "-i"}, help, "", 0},
        {{"-i", "--help"}, help, "", 0},
        // This CLI11 runs option callbacks before it checks requirements.
        {{"--version", "-i"}, version, "", 0},
        {{"--version"}, version, "", 0},
        {{"-i", "-p", kOnePlugin, "--version"}, version, "", 0},
        {{"--version", "word"}, version, "", 0},
        {{"-i", "-p", kOnePlugin, "word"}, "",
         "The following argument was not expected: word\n" + rerun, 109},
        // This CLI11 lists several left-over arguments last one first.
        {{"-i", "-p", kOnePlugin, "first", "second"}, "",
         "The following arguments were not expected: second first\n" + rerun,
         109},
        {{"-p"}, "", missingValue, 114},
        {{"--plugin"}, "", missingValue, 114},
        {{"-i", "-p"}, "", missingValue, 114},
    };
    for (const CommandLineCase &c : cases)
    {
      std::string trace = "args:";
      for (const std::string &arg : c.args)
        trace += " [" + arg + "]";
      SCOPED_TRACE(trace);
      const ProgramResult result = RunInspector(c.args);
      EXPECT_EQ(result.out, c.out);
      EXPECT_EQ(result.err, c.err);
      EXPECT_EQ(result.status, c.status);
    }
  }
}
