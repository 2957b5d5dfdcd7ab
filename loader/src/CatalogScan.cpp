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

    /// Reads the files of one scan into new contents.
    class Scanner
    {
    public:
      Scanner(const Catalog::Options &options, const CatalogContents &previous,
              CatalogSnapshots &snapshots, CatalogScanReport &report)
          : options(options), previous(previous), snapshots(snapshots),
            report(report)
      {
      }

      /// Reads one file into `contents`.
      void AddFile(const std::string &path)
      {
        CatalogFileReport file{path, CatalogFileState::Described, {}, {}};
        const std::optional<FileIdentity> identity = IdentityOf(path);
        if (!identity)
        {
          // The reader gives the precise reason (missing, a loop, no file).
          auto read = ReadManifest(path);
          file.state = CatalogFileState::Unreadable;
          if (auto *error = std::get_if<ManifestError>(&read))
            file.error = std::move(*error);
        }
        else
        {
          this->contents->files.emplace(path, *identity);
          if (CatalogLibraryPtr library = this->LibraryAt(path, *identity))
          {
            this->Describe(*library, file);
            this->contents->libraries.emplace(path, library);
            this->inOrder.push_back(std::move(library));
          }
          else
            this->Refuse(file);
        }
        this->report.files.push_back(std::move(file));
      }

      std::shared_ptr<CatalogContents> contents =
          std::make_shared<CatalogContents>();
      std::vector<CatalogLibraryPtr> inOrder;

    private:
      /// The library at `path`: the previous scan's if the file is the
      /// same, otherwise read now; null for a file without a usable
      /// manifest, after keeping the reason in `error`.
      CatalogLibraryPtr LibraryAt(const std::string &path,
                                  const FileIdentity &identity)
      {
        const auto known = this->previous.libraries.find(path);
        if (known != this->previous.libraries.end() &&
            known->second->identity == identity)
          return known->second;
        auto read = ReadManifest(path);
        CatalogLibraryPtr library;
        if (auto *manifest = std::get_if<Manifest>(&read))
        {
          library = std::make_shared<CatalogLibrary>();
          library->path = path;
          library->manifest =
              std::make_shared<const Manifest>(std::move(*manifest));
        }
        else
        {
          this->error = std::move(std::get<ManifestError>(read));
          library = this->LearnIfAsked(path);
        }
        if (library)
          library->identity = identity;
        return library;
      }

      /// Loads a library without manifest when the options ask for it.
      CatalogLibraryPtr LearnIfAsked(const std::string &path)
      {
        if (!this->options.loadLibrariesWithoutManifest ||
            this->error.kind != ManifestErrorKind::NoManifest)
          return nullptr;
        std::string failure;
        CatalogLibraryPtr library =
            LearnByLoading(path, this->snapshots, failure);
        if (library)
          library->missingManifest = this->error;
        return library;
      }

      void Describe(const CatalogLibrary &library, CatalogFileReport &file)
      {
        file.manifest = library.manifest;
        if (!library.missingManifest)
          return;
        file.state = CatalogFileState::LoadedWithoutManifest;
        file.error = library.missingManifest;
      }

      void Refuse(CatalogFileReport &file)
      {
        file.state = this->error.kind == ManifestErrorKind::NoManifest
                         ? CatalogFileState::WithoutManifest
                         : CatalogFileState::Unreadable;
        file.error = std::move(this->error);
      }

      const Catalog::Options &options;
      const CatalogContents &previous;
      CatalogSnapshots &snapshots;
      CatalogScanReport &report;
      /// Why the last file read has no usable manifest.
      ManifestError error{};
    };

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
      CatalogSnapshots &snapshots, CatalogScanReport &report)
  {
    Scanner scanner(options, previous, snapshots, report);
    for (const std::string &directory : searchPaths)
      for (const std::string &path :
           LibraryFiles(directory, options.recursive, report))
        if (scanner.contents->files.count(path) == 0)
          scanner.AddFile(path);
    IndexPlugins(scanner.inOrder, *scanner.contents, report);
    return scanner.contents;
  }
}
