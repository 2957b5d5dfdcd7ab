#include <tova/plugin/Catalog.hpp>

#include <detail/WriteMessage.hpp>

#include "CatalogImplementation.hpp"

namespace tova::plugin
{
  namespace
  {
    std::string VersionText(const std::optional<InterfaceVersion> &version)
    {
      if (!version)
        return "unversioned";
      return std::to_string(version->major) + "." +
             std::to_string(version->minor);
    }

    const ManifestInterface *InterfaceOf(const ManifestPlugin &plugin,
                                         const std::string &interfaceName)
    {
      for (const ManifestInterface &interface : plugin.interfaces)
        if (interface.name == interfaceName)
          return &interface;
      return nullptr;
    }

    /// Writes why the plugin cannot serve as the interface; false if it can.
    bool RefusedAs(const ManifestPlugin &plugin,
                   const std::string &interfaceName,
                   const std::optional<InterfaceVersion> &version)
    {
      const ManifestInterface *interface = InterfaceOf(plugin, interfaceName);
      if (!interface)
        detail::WriteMessage<MessageKind::CatalogInterfaceMissing>(
            plugin.name, interfaceName, VersionText(version));
      else if (!InterfaceVersionsCompatible(interface->version, version))
        detail::WriteMessage<MessageKind::CatalogInterfaceIncompatible>(
            plugin.name, VersionText(interface->version), interfaceName,
            VersionText(version));
      else
        return false;
      return true;
    }

    /// The paths in `from` that `to` does not have.
    std::vector<std::string> PathsMissingIn(
        const std::map<std::string, FileIdentity> &from,
        const std::map<std::string, FileIdentity> &to)
    {
      std::vector<std::string> paths;
      for (const auto &entry : from)
        if (to.count(entry.first) == 0)
          paths.push_back(entry.first);
      return paths;
    }

    CatalogChanges ChangesBetween(const CatalogContents &before,
                                  const CatalogContents &after,
                                  CatalogScanReport report)
    {
      CatalogChanges changes;
      changes.added = PathsMissingIn(after.files, before.files);
      changes.removed = PathsMissingIn(before.files, after.files);
      for (const auto &[path, identity] : after.files)
      {
        const auto old = before.files.find(path);
        if (old != before.files.end() && !(old->second == identity))
          changes.replaced.push_back(path);
      }
      changes.scan = std::move(report);
      return changes;
    }
  }

  CatalogContentsPtr Catalog::Implementation::Contents() const
  {
    std::lock_guard<std::mutex> lock(this->mutex);
    return this->contents;
  }

  namespace
  {
    /// The entry that `nameOrAlias` names in `contents`, or null; the
    /// plugins that carry it when it is an ambiguous alias.
    const CatalogEntry *FindIn(const CatalogContents &contents,
                               const std::string &nameOrAlias,
                               std::set<std::string> &candidates)
    {
      const auto byName = contents.plugins.find(nameOrAlias);
      if (byName != contents.plugins.end())
        return &byName->second;
      const auto byAlias = contents.pluginsWithAlias.find(nameOrAlias);
      if (byAlias == contents.pluginsWithAlias.end())
        return nullptr;
      if (byAlias->second.size() == 1)
        return &contents.plugins.at(*byAlias->second.begin());
      candidates = byAlias->second;
      return nullptr;
    }
  }

  std::optional<CatalogEntry> Catalog::Implementation::Find(
      const std::string &nameOrAlias, bool writeMessages) const
  {
    std::set<std::string> candidates;
    {
      std::lock_guard<std::mutex> lock(this->mutex);
      if (const CatalogEntry *entry =
              FindIn(*this->contents, nameOrAlias, candidates))
        return *entry;
    }
    if (!writeMessages)
      return std::nullopt;
    if (!candidates.empty())
      detail::WriteMessage<MessageKind::CatalogAmbiguousAlias>(
          nameOrAlias, detail::ListedNames(candidates));
    else
      detail::WriteMessage<MessageKind::CatalogUnknownName>(nameOrAlias);
    return std::nullopt;
  }

  const Loader *Catalog::Implementation::LoaderOf(const CatalogEntry &entry)
  {
    CatalogLibrary &library = *entry.library;
    if (const Loader *loader = library.ready.load(std::memory_order_acquire))
      return loader;
    std::lock_guard<std::mutex> lock(library.loadMutex);
    if (!library.loader && library.failure.empty())
    {
      library.loader = LoadSnapshot(library, this->snapshots, library.failure);
      library.ready.store(library.loader.get(), std::memory_order_release);
    }
    if (!library.loader)
      detail::WriteMessage<MessageKind::CatalogLibraryUnusable>(
          library.path, entry.plugin->name, library.failure);
    return library.loader.get();
  }

  PluginPtr Catalog::Implementation::Instantiate(const CatalogEntry &entry)
  {
    const Loader *const loader = this->LoaderOf(entry);
    if (!loader)
      return PluginPtr();
    return loader->Instantiate(entry.plugin->name);
  }

  Catalog::Catalog() : Catalog(Options{}) {}

  Catalog::Catalog(const Options &options)
      : dataPtr(std::make_unique<Implementation>())
  {
    this->dataPtr->options = options;
  }

  Catalog::~Catalog() = default;

  void Catalog::AddSearchPath(const std::string &directory)
  {
    std::lock_guard<std::mutex> lock(this->dataPtr->mutex);
    this->dataPtr->searchPaths.push_back(directory);
  }

  CatalogScanReport Catalog::Scan()
  {
    return this->Refresh().scan;
  }

  CatalogChanges Catalog::Refresh()
  {
    Implementation &data = *this->dataPtr;
    CatalogContentsPtr before;
    CatalogContentsPtr after;
    CatalogScanReport report;
    {
      std::lock_guard<std::mutex> scanning(data.scanMutex);
      std::vector<std::string> searchPaths;
      {
        std::lock_guard<std::mutex> lock(data.mutex);
        searchPaths = data.searchPaths;
        before = data.contents;
      }
      after = ScanSearchPaths(searchPaths, data.options, *before,
                              data.snapshots, report);
      std::lock_guard<std::mutex> lock(data.mutex);
      data.contents = after;
    }
    // `before` goes after every lock: forgotten libraries may close now and
    // run their static destructors, which may use this catalog.
    return ChangesBetween(*before, *after, std::move(report));
  }

  std::set<std::string> Catalog::AllPlugins() const
  {
    // Held while iterating: a refresh may replace the catalog's contents.
    const CatalogContentsPtr contents = this->dataPtr->Contents();
    std::set<std::string> names;
    for (const auto &entry : contents->plugins)
      names.insert(names.end(), entry.first);
    return names;
  }

  std::string Catalog::LookupPlugin(const std::string &nameOrAlias) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, false);
    return entry ? entry->plugin->name : std::string();
  }

  std::set<std::string> Catalog::PluginsImplementing(
      const std::string &interfaceName) const
  {
    const CatalogContentsPtr contents = this->dataPtr->Contents();
    std::set<std::string> names;
    for (const auto &[name, entry] : contents->plugins)
      if (InterfaceOf(*entry.plugin, interfaceName))
        names.insert(name);
    return names;
  }

  std::set<std::string> Catalog::PrivatePluginsCompatibleWith(
      const std::string &interfaceName,
      const std::optional<InterfaceVersion> &version) const
  {
    const CatalogContentsPtr contents = this->dataPtr->Contents();
    std::set<std::string> names;
    for (const auto &[name, entry] : contents->plugins)
    {
      const ManifestInterface *interface =
          InterfaceOf(*entry.plugin, interfaceName);
      if (interface && InterfaceVersionsCompatible(interface->version, version))
        names.insert(name);
    }
    return names;
  }

  std::optional<ManifestPlugin> Catalog::PluginDescription(
      const std::string &nameOrAlias) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, false);
    if (!entry)
      return std::nullopt;
    return *entry->plugin;
  }

  std::string Catalog::LibraryOfPlugin(const std::string &nameOrAlias) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, false);
    return entry ? entry->library->path : std::string();
  }

  std::optional<ManifestMetadata> Catalog::LibraryMetadata(
      const std::string &nameOrAlias) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, false);
    if (!entry)
      return std::nullopt;
    return entry->library->manifest->metadata;
  }

  bool Catalog::IsLoaded(const std::string &nameOrAlias) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, false);
    if (!entry)
      return false;
    return entry->library->ready.load(std::memory_order_acquire) != nullptr;
  }

  PluginPtr Catalog::Instantiate(const std::string &nameOrAlias) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, true);
    if (!entry)
      return PluginPtr();
    return this->dataPtr->Instantiate(*entry);
  }

  std::shared_ptr<const Loader> Catalog::PrivateLoaderFor(
      const std::string &nameOrAlias, const std::string &interfaceName,
      const std::optional<InterfaceVersion> &version,
      const std::string *&pluginName) const
  {
    const auto entry = this->dataPtr->Find(nameOrAlias, true);
    if (!entry || RefusedAs(*entry->plugin, interfaceName, version))
      return nullptr;
    const Loader *const loader = this->dataPtr->LoaderOf(*entry);
    if (!loader)
      return nullptr;
    pluginName = &entry->plugin->name;
    return std::shared_ptr<const Loader>(entry->library, loader);
  }
}
