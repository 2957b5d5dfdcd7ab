#ifndef TOVA_TESTS_MANIFEST_MANIFESTSUPPORT_HPP_
#define TOVA_TESTS_MANIFEST_MANIFESTSUPPORT_HPP_

#include <map>
#include <set>
#include <string>
#include <variant>

#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Manifest.hpp>

namespace tova::test
{
  /// The names of a plugin that both the loader and the manifest give.
  struct PluginNames
  {
    std::set<std::string> aliases;
    std::set<std::string> interfaces;

    bool operator==(const PluginNames &other) const
    {
      return aliases == other.aliases && interfaces == other.interfaces;
    }
  };
  using LibraryNames = std::map<std::string, PluginNames>;

  inline LibraryNames NamesFromLoader(const std::string &path)
  {
    plugin::Loader loader;
    LibraryNames names;
    for (const std::string &name : loader.LoadLib(path))
      names[name].aliases = loader.AliasesOfPlugin(name);
    for (const std::string &interface : loader.InterfacesImplemented())
      for (const std::string &name : loader.PluginsImplementing(interface))
        names[name].interfaces.insert(interface);
    return names;
  }

  inline LibraryNames NamesFromManifest(const plugin::Manifest &manifest)
  {
    LibraryNames names;
    for (const plugin::ManifestPlugin &plugin : manifest.plugins)
    {
      names[plugin.name].aliases = plugin.aliases;
      for (const plugin::ManifestInterface &interface : plugin.interfaces)
        names[plugin.name].interfaces.insert(interface.name);
    }
    return names;
  }

  /// The manifest of `path`; an empty one, with the error's message as
  /// library metadata under "error", when there is none.
  inline plugin::Manifest ManifestOf(const std::string &path)
  {
    auto read = plugin::ReadManifest(path);
    if (auto *error = std::get_if<plugin::ManifestError>(&read))
      return {{{"error", error->message}}, {}};
    return std::get<plugin::Manifest>(std::move(read));
  }
}

#endif
