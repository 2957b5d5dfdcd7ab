#ifndef TOVA_PLUGIN_TOOLS_CHECK_HPP_
#define TOVA_PLUGIN_TOOLS_CHECK_HPP_

#include <string>
#include <vector>

#include <tova/plugin/Manifest.hpp>
#include <tova/plugin/PluginNames.hpp>

namespace tova::plugin::tool
{
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
