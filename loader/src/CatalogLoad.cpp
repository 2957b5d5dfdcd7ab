// Loading a catalog's library from a snapshot, and checking what its hook
// hands over against its manifest.
#include <unistd.h>

#include <algorithm>

#include <tova/plugin/PluginNames.hpp>

#include "CatalogImplementation.hpp"

namespace tova::plugin
{
  namespace
  {
    std::string Joined(const std::vector<std::string> &lines)
    {
      std::string joined;
      for (const std::string &line : lines)
        joined += (joined.empty() ? "" : "; ") + line;
      return joined;
    }

    bool SameNames(const Manifest &left, const Manifest &right)
    {
      if (left.plugins.size() != right.plugins.size())
        return false;
      for (std::size_t index = 0; index < left.plugins.size(); ++index)
      {
        const ManifestPlugin &a = left.plugins[index];
        const ManifestPlugin &b = right.plugins[index];
        if (a.name != b.name || a.aliases != b.aliases ||
            a.interfaces.size() != b.interfaces.size() ||
            !std::equal(a.interfaces.begin(), a.interfaces.end(),
                        b.interfaces.begin(),
                        [](const ManifestInterface &x,
                           const ManifestInterface &y)
                        { return x.name == y.name && x.version == y.version; }))
          return false;
      }
      return true;
    }

    /// Whether the snapshot holds the plugins that the scan read, so that
    /// a file replaced since is not trusted on the old manifest's word.
    bool SnapshotMatchesScan(const std::string &snapshot,
                             const Manifest &scanned)
    {
      const auto read = ReadManifest(snapshot);
      const auto *manifest = std::get_if<Manifest>(&read);
      return manifest && SameNames(*manifest, scanned);
    }
  }

  namespace
  {
    /// Loads a snapshot of the file at `path`, after checking that it
    /// holds the plugins of `scanned` (when given); the loader is null
    /// after setting `failure`.
    std::pair<std::shared_ptr<Loader>, Loader::PluginNameSet> OpenSnapshot(
        const std::string &path, const Manifest *scanned,
        CatalogSnapshots &snapshots, std::string &failure)
    {
      const std::string snapshot = snapshots.Copy(path, failure);
      if (snapshot.empty())
        return {};
      if (scanned && !SnapshotMatchesScan(snapshot, *scanned))
      {
        unlink(snapshot.c_str());
        failure = "its file has changed since the scan";
        return {};
      }
      auto loader = std::make_shared<Loader>();
      Loader::PluginNameSet loaded = loader->LoadLib(snapshot);
      // Once open, the library needs no file: nothing is left on disk even
      // if the process ends abnormally.
      unlink(snapshot.c_str());
      if (loaded.empty())
      {
        failure = "it does not load (see the loader's message)";
        return {};
      }
      return {std::move(loader), std::move(loaded)};
    }

    /// What a loaded library handed over, as a manifest without versions.
    Manifest ManifestOf(const LibraryNames &names)
    {
      Manifest manifest;
      for (const auto &[name, plugin] : names)
      {
        ManifestPlugin &entry = manifest.plugins.emplace_back();
        entry.name = name;
        entry.aliases = plugin.aliases;
        for (const std::string &interface : plugin.interfaces)
          entry.interfaces.push_back({interface, std::nullopt});
      }
      return manifest;
    }
  }

  std::shared_ptr<const Loader> LoadSnapshot(const CatalogLibrary &library,
                                             CatalogSnapshots &snapshots,
                                             std::string &failure)
  {
    const auto [loader, loaded] = OpenSnapshot(
        library.path, library.manifest.get(), snapshots, failure);
    if (!loader)
      return nullptr;
    const std::vector<std::string> differences =
        NameDifferences(NamesInManifest(*library.manifest),
                        NamesOfLoadedPlugins(*loader, loaded));
    if (!differences.empty())
    {
      failure = "what it hands over differs from its manifest: " +
                Joined(differences);
      return nullptr;
    }
    return loader;
  }

  CatalogLibraryPtr LearnByLoading(const std::string &path,
                                   CatalogSnapshots &snapshots,
                                   std::string &failure)
  {
    const auto [loader, loaded] =
        OpenSnapshot(path, nullptr, snapshots, failure);
    if (!loader)
      return nullptr;
    auto library = std::make_shared<CatalogLibrary>();
    library->path = path;
    library->manifest =
        std::make_shared<const Manifest>(
            ManifestOf(NamesOfLoadedPlugins(*loader, loaded)));
    library->loader = loader;
    library->ready = loader.get();
    return library;
  }
}
