#ifndef TOVA_PLUGIN_PLUGINNAMES_HPP_
#define TOVA_PLUGIN_PLUGINNAMES_HPP_

#include <map>
#include <set>
#include <string>
#include <vector>

#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Manifest.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief The names of one plugin, in the terms that a manifest and a
  /// loader share: its aliases and the readable names of its interfaces.
  struct PluginNames
  {
    std::set<std::string> aliases;
    std::set<std::string> interfaces;

    bool operator==(const PluginNames &other) const
    {
      return aliases == other.aliases && interfaces == other.interfaces;
    }
  };

  /// \brief The names of a library's plugins, by plugin name.
  using LibraryNames = std::map<std::string, PluginNames>;

  /// \brief The names that a manifest records.
  TOVA_PLUGIN_EXPORT LibraryNames NamesInManifest(const Manifest &manifest);

  /// \brief The names that `loader` reports for `loaded`, the plugins that
  /// it loaded from one library (what `LoadLib` returned).
  TOVA_PLUGIN_EXPORT LibraryNames NamesOfLoadedPlugins(
      const Loader &loader, const Loader::PluginNameSet &loaded);

  /// \brief Each name that only one side has, one line each, without a line
  /// end: "plugin [N] is only in the manifest", "alias [A] of plugin [N] is
  /// only in the loaded library", "interface [I] of plugin [N] ...".
  TOVA_PLUGIN_EXPORT std::vector<std::string> NameDifferences(
      const LibraryNames &manifest, const LibraryNames &loaded);
}

#endif
