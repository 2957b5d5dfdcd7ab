// Reading the search paths of a catalog: which files, in which order, and
// which plugin names win.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "CatalogImplementation.hpp"

namespace tova::plugin
{
  bool operator==(const FileIdentity &left, const FileIdentity &right)
  {
    return left.device == right.device && left.inode == right.inode &&
           left.size == right.size &&
           left.modified.tv_sec == right.modified.tv_sec &&
           left.modified.tv_nsec == right.modified.tv_nsec;
  }

  namespace
  {
    namespace fs = std::filesystem;

    bool IsLibraryName(const std::string &path)
    {
      static const std::string suffix = ".so";
      return path.size() >= suffix.size() &&
             path.compare(path.size() - suffix.size(), suffix.size(),
                          suffix) == 0;
    }

    /// The library files under `directory`, sorted by path in byte order;
    /// an error report for a directory that cannot be read.
    std::vector<std::string> LibraryFiles(const std::string &directory,
                                          bool recursive,
                                          CatalogScanReport &report)
    {
      std::error_code error;
      fs::directory_iterator entries(directory, error);
      if (error)
      {
        report.files.push_back(
            {directory, CatalogFileState::Unreadable,
             ManifestError{ManifestErrorKind::Unreadable,
                           "Cannot read the directory [" + directory +
                               "]: " + error.message()},
             nullptr});
        return {};
      }
      std::vector<std::string> files;
      std::vector<std::string> subdirectories;
      for (; entries != fs::directory_iterator(); entries.increment(error))
      {
        const std::string path = entries->path().string();
        if (IsLibraryName(path))
          files.push_back(path);
        else if (recursive && entries->is_directory(error) &&
                 !entries->is_symlink(error))
          subdirectories.push_back(path);
      }
      std::sort(subdirectories.begin(), subdirectories.end());
      for (const std::string &subdirectory : subdirectories)
      {
        std::vector<std::string> below =
            LibraryFiles(subdirectory, recursive, report);
        files.insert(files.end(), below.begin(), below.end());
      }
      std::sort(files.begin(), files.end());
      return files;
    }

    std::optional<FileIdentity> IdentityOf(const std::string &path)
    {
      struct stat status;
      if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
      return FileIdentity{status.st_dev, status.st_ino, status.st_size,
                          status.st_mtim};
    }

    /// The library at `path`: the previous scan's if the file is the same,
    /// otherwise read now; null for a file without a usable manifest.
    CatalogLibraryPtr LibraryAt(const std::string &path,
                                const FileIdentity &identity,
                                const CatalogContents &previous,
                                CatalogFileReport &report)
    {
      const auto known = previous.libraries.find(path);
      if (known != previous.libraries.end() &&
          known->second->identity == identity)
      {
        report.manifest = known->second->manifest;
        return known->second;
      }
      auto read = ReadManifest(path);
      if (auto *error = std::get_if<ManifestError>(&read))
      {
        report.state = error->kind == ManifestErrorKind::NoManifest
                           ? CatalogFileState::WithoutManifest
                           : CatalogFileState::Unreadable;
        report.error = std::move(*error);
        return nullptr;
      }
      auto library = std::make_shared<CatalogLibrary>();
      library->path = path;
      library->identity = identity;
      library->manifest =
          std::make_shared<const Manifest>(std::move(std::get<Manifest>(read)));
      report.manifest = library->manifest;
      return library;
    }

    /// Reads one file into `contents`.
    void AddFile(const std::string &path, const CatalogContents &previous,
                 CatalogContents &contents, CatalogScanReport &report,
                 std::vector<CatalogLibraryPtr> &inOrder)
    {
      CatalogFileReport fileReport{path, CatalogFileState::Described, {}, {}};
      const std::optional<FileIdentity> identity = IdentityOf(path);
      if (!identity)
      {
        // The reader gives the precise reason (missing, a loop, no file).
        auto read = ReadManifest(path);
        fileReport.state = CatalogFileState::Unreadable;
        if (auto *error = std::get_if<ManifestError>(&read))
          fileReport.error = std::move(*error);
        report.files.push_back(std::move(fileReport));
        return;
      }
      contents.files.emplace(path, *identity);
      if (CatalogLibraryPtr library =
              LibraryAt(path, *identity, previous, fileReport))
      {
        contents.libraries.emplace(path, library);
        inOrder.push_back(std::move(library));
      }
      report.files.push_back(std::move(fileReport));
    }

    /// Registers the plugins of the libraries, earlier ones first.
    void IndexPlugins(const std::vector<CatalogLibraryPtr> &inOrder,
                      CatalogContents &contents, CatalogScanReport &report)
    {
      for (const CatalogLibraryPtr &library : inOrder)
        for (const ManifestPlugin &plugin : library->manifest->plugins)
        {
          const auto [entry, added] = contents.plugins.emplace(
              plugin.name, CatalogEntry{library, &plugin});
          if (!added)
          {
            report.shadowed.push_back(
                {plugin.name, library->path, entry->second.library->path});
            continue;
          }
          for (const std::string &alias : plugin.aliases)
            contents.pluginsWithAlias[alias].insert(plugin.name);
        }
    }
  }

  CatalogContentsPtr ScanSearchPaths(
      const std::vector<std::string> &searchPaths,
      const Catalog::Options &options, const CatalogContents &previous,
      CatalogScanReport &report)
  {
    auto contents = std::make_shared<CatalogContents>();
    std::vector<CatalogLibraryPtr> inOrder;
    for (const std::string &directory : searchPaths)
      for (const std::string &path :
           LibraryFiles(directory, options.recursive, report))
        if (contents->files.count(path) == 0)
          AddFile(path, previous, *contents, report, inOrder);
    IndexPlugins(inOrder, *contents, report);
    return contents;
  }
}
