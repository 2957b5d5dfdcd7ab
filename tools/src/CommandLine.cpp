#include "CommandLine.hpp"

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Check.hpp"
#include "Describe.hpp"
#include "Scan.hpp"

namespace tova::plugin::tool
{
  namespace
  {
    struct Options
    {
      std::vector<std::string> paths;
      bool json = false;
    };

    using Json = nlohmann::ordered_json;

    void PrintDocument(std::ostream &out, const Json &libraries)
    {
      out << Json{{"libraries", libraries}}.dump(2) << "\n";
    }

    /// Writes the reason when `read` failed; true if it did.
    bool ReportUnreadable(const ReadResult &read, std::ostream &err)
    {
      const auto *error = std::get_if<ManifestError>(&read);
      if (error)
        err << error->message << "\n";
      return error != nullptr;
    }

    int Describe(const Options &options, std::ostream &out,
                 std::ostream &err)
    {
      int status = 0;
      Json libraries = Json::array();
      bool first = true;
      for (const std::string &path : options.paths)
      {
        const ReadResult read = ReadManifest(path);
        if (ReportUnreadable(read, err))
          status = 1;
        if (options.json)
          libraries.push_back(LibraryJson(path, read));
        else if (const auto *manifest = std::get_if<Manifest>(&read))
        {
          out << (first ? "" : "\n");
          PrintManifest(out, path, *manifest);
          first = false;
        }
      }
      if (options.json)
        PrintDocument(out, libraries);
      return status;
    }

    int Check(const Options &options, std::ostream &out, std::ostream &err)
    {
      int status = 0;
      Json libraries = Json::array();
      for (const std::string &path : options.paths)
      {
        const ReadResult read = ReadManifest(path);
        const auto *error = std::get_if<ManifestError>(&read);
        if (error && error->kind != ManifestErrorKind::NoManifest)
        {
          ReportUnreadable(read, err);
          libraries.push_back(LibraryJson(path, read));
          status = 1;
          continue;
        }
        // The child process must not inherit unwritten output.
        out.flush();
        const std::vector<std::string> findings =
            CheckLibrary(path, std::get_if<Manifest>(&read));
        if (!findings.empty())
          status = 1;
        libraries.push_back({{"path", path}, {"findings", findings}});
        for (const std::string &finding : findings)
          if (!options.json)
            out << path << ": " << finding << "\n";
      }
      if (options.json)
        PrintDocument(out, libraries);
      return status;
    }

    void AddCommand(CLI::App &app, const char *name, const char *description,
                    Options &options, const char *operands = "PATH",
                    const char *operandsDescription = "Plugin library files.")
    {
      CLI::App *command = app.add_subcommand(name, description);
      command->add_option(operands, options.paths, operandsDescription)
          ->required();
      command->add_flag("--json", options.json,
                        "Prints one JSON document instead.");
    }
  }

  int RunTool(int argc, const char *const *argv, std::ostream &out,
              std::ostream &err)
  {
    CLI::App app("Shows and checks the manifests of plugin libraries.",
                 "tova-plugin");
    app.set_version_flag("--version", TOVA_PLUGIN_VERSION);
    app.require_subcommand(1);
    Options options;
    AddCommand(
        app, "describe",
        "Prints the manifest of each library. Never loads a library: none "
        "of its code runs.",
        options);
    AddCommand(
        app, "check",
        "Loads each library in a child process, which runs the library's "
        "code, and reports one line per finding: no manifest, a name where "
        "the manifest and the loaded library differ, a GNU unique symbol.",
        options);
    AddCommand(
        app, "scan",
        "Prints what a catalog of the directories knows: each library's "
        "plugins, shadowed names, libraries without a manifest and "
        "unreadable files. Never loads a library.",
        options, "DIRECTORY", "Directories of plugin libraries.");
    try
    {
      app.parse(argc, argv);
    }
    catch (const CLI::ParseError &error)
    {
      return app.exit(error, out, err) == 0 ? 0 : 2;
    }
    if (app.got_subcommand("scan"))
      return ScanDirectories(options.paths, options.json, out, err);
    return app.got_subcommand("describe") ? Describe(options, out, err)
                                          : Check(options, out, err);
  }
}
