#include <tova/plugin/PluginNames.hpp>

namespace tova::plugin
{
  namespace
  {
    /// Appends a line for each name of `first` that `second` lacks.
    void AddOneSided(const std::set<std::string> &first,
                     const std::set<std::string> &second,
                     const std::string &what, const std::string &owner,
                     const std::string &where,
                     std::vector<std::string> &lines)
    {
      for (const std::string &name : first)
        if (second.count(name) == 0)
          lines.push_back(what + " [" + name + "]" + owner +
                          " is only in the " + where);
    }

    void AddDifferences(const std::set<std::string> &manifest,
                        const std::set<std::string> &loaded,
                        const std::string &what, const std::string &owner,
                        std::vector<std::string> &lines)
    {
      AddOneSided(manifest, loaded, what, owner, "manifest", lines);
      AddOneSided(loaded, manifest, what, owner, "loaded library", lines);
    }

    std::set<std::string> PluginsOf(const LibraryNames &names)
    {
      std::set<std::string> plugins;
      for (const auto &entry : names)
        plugins.insert(entry.first);
      return plugins;
    }
  }

  LibraryNames NamesInManifest(const Manifest &manifest)
  {
    LibraryNames names;
    for (const ManifestPlugin &plugin : manifest.plugins)
    {
      PluginNames &entry = names[plugin.name];
      entry.aliases = plugin.aliases;
      for (const ManifestInterface &interface : plugin.interfaces)
        entry.interfaces.insert(interface.name);
    }
    return names;
  }

  LibraryNames NamesOfLoadedPlugins(const Loader &loader,
                                    const Loader::PluginNameSet &loaded)
  {
    LibraryNames names;
    for (const std::string &name : loaded)
      names[name].aliases = loader.AliasesOfPlugin(name);
    // Only the library's own plugins: the loader also sees static ones.
    for (const std::string &interface : loader.InterfacesImplemented())
      for (const std::string &name : loader.PluginsImplementing(interface))
        if (loaded.count(name) != 0)
          names[name].interfaces.insert(interface);
    return names;
  }

  std::vector<std::string> NameDifferences(const LibraryNames &manifest,
                                           const LibraryNames &loaded)
  {
    std::vector<std::string> lines;
    AddDifferences(PluginsOf(manifest), PluginsOf(loaded), "plugin", "",
                   lines);
    for (const auto &[name, recorded] : manifest)
    {
      const auto found = loaded.find(name);
      if (found == loaded.end())
        continue;
      const std::string owner = " of plugin [" + name + "]";
      AddDifferences(recorded.aliases, found->second.aliases, "alias", owner,
                     lines);
      AddDifferences(recorded.interfaces, found->second.interfaces,
                     "interface", owner, lines);
    }
    return lines;
  }
}
