#ifndef TOVA_PLUGIN_TOOLS_CHECK_HPP_
#define TOVA_PLUGIN_TOOLS_CHECK_HPP_

#include <map>
#include <set>
#include <string>
#include <vector>

#include <tova/plugin/Manifest.hpp>

namespace tova::plugin::tool
{
  /// The names of one plugin: its aliases and readable interface names.
  struct PluginNames
  {
    std::set<std::string> aliases;
    std::set<std::string> interfaces;

    bool operator==(const PluginNames &other) const
    {
      return aliases == other.aliases && interfaces == other.interfaces;
    }
  };

  /// The names of a library's plugins, by plugin name.
  using LibraryNames = std::map<std::string, PluginNames>;

  /// The names that the manifest records.
  LibraryNames NamesInManifest(const Manifest &manifest);

  /// The names that the library's hook hands over, loaded in this process.
  LibraryNames NamesWhenLoaded(const std::string &path);

  /// Every finding about the library at `path`, whose manifest is
  /// `manifest` (null when it has none), one line each, without the path
  /// or a line end: no manifest, each name where the manifest and the loaded library
  /// differ, a load that crashed or ended the process, and each GNU unique
  /// symbol. Loads the library in a child process.
  std::vector<std::string> CheckLibrary(const std::string &path,
                                        const Manifest *manifest);
}

#endif
