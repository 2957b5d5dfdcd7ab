#include "Scan.hpp"

#include <tova/plugin/Catalog.hpp>

#include "Describe.hpp"

namespace tova::plugin::tool
{
  namespace
  {
    using Json = nlohmann::ordered_json;

    ReadResult ResultOf(const CatalogFileReport &file)
    {
      if (file.manifest)
        return *file.manifest;
      return *file.error;
    }

    /// The lines after the libraries: shadowed names, files without a
    /// manifest, unreadable files.
    std::vector<std::string> Notes(const CatalogScanReport &report)
    {
      std::vector<std::string> notes;
      for (const ShadowedPlugin &shadowed : report.shadowed)
        notes.push_back("shadowed " + shadowed.name + " in " +
                        shadowed.library + " by " + shadowed.winningLibrary);
      for (const CatalogFileReport &file : report.files)
        if (file.state == CatalogFileState::WithoutManifest)
          notes.push_back("no manifest " + file.path);
        else if (file.state == CatalogFileState::Unreadable)
          notes.push_back("unreadable " + file.error->message);
      return notes;
    }

    void PrintText(const CatalogScanReport &report, std::ostream &out)
    {
      const char *separator = "";
      for (const CatalogFileReport &file : report.files)
        if (file.manifest)
        {
          out << separator;
          PrintManifest(out, file.path, *file.manifest);
          separator = "\n";
        }
      const std::vector<std::string> notes = Notes(report);
      if (!notes.empty())
        out << separator;
      for (const std::string &note : notes)
        out << note << "\n";
    }

    Json ReportJson(const CatalogScanReport &report)
    {
      Json libraries = Json::array();
      for (const CatalogFileReport &file : report.files)
        libraries.push_back(LibraryJson(file.path, ResultOf(file)));
      Json shadowed = Json::array();
      for (const ShadowedPlugin &each : report.shadowed)
        shadowed.push_back({{"name", each.name},
                            {"library", each.library},
                            {"winner", each.winningLibrary}});
      return {{"libraries", std::move(libraries)},
              {"shadowed", std::move(shadowed)}};
    }
  }

  int ScanDirectories(const std::vector<std::string> &directories, bool json,
                      std::ostream &out, std::ostream &err)
  {
    Catalog catalog;
    for (const std::string &directory : directories)
      catalog.AddSearchPath(directory);
    const CatalogScanReport report = catalog.Scan();
    int status = 0;
    for (const CatalogFileReport &file : report.files)
      if (file.error)
      {
        err << file.error->message << "\n";
        status = 1;
      }
    if (json)
      out << ReportJson(report).dump(2) << "\n";
    else
      PrintText(report, out);
    return status;
  }
}
