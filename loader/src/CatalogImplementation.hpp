#ifndef TOVA_PLUGIN_LOADER_SRC_CATALOGIMPLEMENTATION_HPP_
#define TOVA_PLUGIN_LOADER_SRC_CATALOGIMPLEMENTATION_HPP_

#include <sys/stat.h>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <tova/plugin/Catalog.hpp>
#include <tova/plugin/Loader.hpp>

#include "CatalogSnapshots.hpp"

namespace tova::plugin
{
  /// What tells one file from another under the same path.
  struct TOVA_PLUGIN_HIDDEN FileIdentity
  {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
  };

  TOVA_PLUGIN_HIDDEN bool operator==(const FileIdentity &left,
                                     const FileIdentity &right);

  /// \brief A described library file, and the loader of its snapshot once
  /// one of its plugins has been used.
  struct TOVA_PLUGIN_HIDDEN CatalogLibrary
  {
    std::string path;
    FileIdentity identity;
    /// Shared with the scan reports; never changed.
    std::shared_ptr<const Manifest> manifest;

    std::mutex loadMutex;
    /// Set by the first load that succeeds; instances outlive it.
    std::shared_ptr<const Loader> loader;
    /// `loader`, once set: read without the lock on every creation.
    std::atomic<const Loader *> ready{nullptr};
    /// Why the library cannot be used, once a load has failed.
    std::string failure;
    /// For a library without manifest that the scan loaded to learn its
    /// plugins: the reader's report of the missing manifest.
    std::optional<ManifestError> missingManifest;
  };

  using CatalogLibraryPtr = std::shared_ptr<CatalogLibrary>;

  /// A plugin of the catalog and the library that provides it.
  struct TOVA_PLUGIN_HIDDEN CatalogEntry
  {
    CatalogLibraryPtr library;
    const ManifestPlugin *plugin = nullptr;
  };

  /// \brief Everything one scan found: replaced as a whole, so that a
  /// reader holding it sees one consistent scan.
  struct TOVA_PLUGIN_HIDDEN CatalogContents
  {
    /// Every file looked at, by path, and the described libraries.
    std::map<std::string, FileIdentity> files;
    std::map<std::string, CatalogLibraryPtr> libraries;
    std::map<std::string, CatalogEntry> plugins;
    std::map<std::string, std::set<std::string>> pluginsWithAlias;
  };

  using CatalogContentsPtr = std::shared_ptr<const CatalogContents>;

  /// Reads the search paths into new contents, reusing the libraries of
  /// `previous` whose files are unchanged.
  TOVA_PLUGIN_HIDDEN CatalogContentsPtr ScanSearchPaths(
      const std::vector<std::string> &searchPaths,
      const Catalog::Options &options, const CatalogContents &previous,
      CatalogSnapshots &snapshots, CatalogScanReport &report);

  /// Loads the snapshot of `library` and checks it against its manifest;
  /// null after setting `failure`.
  TOVA_PLUGIN_HIDDEN std::shared_ptr<const Loader> LoadSnapshot(
      const CatalogLibrary &library, CatalogSnapshots &snapshots,
      std::string &failure);

  /// Loads the snapshot of a library without manifest and describes it by
  /// what its hook hands over (no interface versions); null after setting
  /// `failure`.
  TOVA_PLUGIN_HIDDEN CatalogLibraryPtr LearnByLoading(
      const std::string &path, CatalogSnapshots &snapshots,
      std::string &failure);

  class TOVA_PLUGIN_HIDDEN Catalog::Implementation
  {
  public:
    /// The entry of the plugin that `nameOrAlias` names, after a message
    /// when there is none.
    std::optional<CatalogEntry> Find(const std::string &nameOrAlias,
                                     bool writeMessages) const;

    /// The loader of the entry's library, loading it now if needed; null
    /// after a message. The entry's library owns it.
    const Loader *LoaderOf(const CatalogEntry &entry);

    PluginPtr Instantiate(const CatalogEntry &entry);

    CatalogContentsPtr Contents() const;

    Options options;
    CatalogSnapshots snapshots;

    /// Held for a whole scan, so that scans follow one another.
    std::mutex scanMutex;
    // Held only to read or replace the members below, never while library
    // code runs.
    mutable std::mutex mutex;
    std::vector<std::string> searchPaths;
    CatalogContentsPtr contents = std::make_shared<CatalogContents>();
  };
}

#endif
