#ifndef TOVA_PLUGIN_INSPECTOR_INSPECTOR_HPP_
#define TOVA_PLUGIN_INSPECTOR_INSPECTOR_HPP_

#include <string>

#include <CLI/CLI.hpp>

namespace tova::plugin
{
  /// \brief What the final step of the parse performs.
  enum class InspectorAction : int
  {
    None = 0,
    PluginInfo = 1
  };

  /// \brief What the user selected on the command line.
  struct PluginOptions
  {
    InspectorAction action;
    int verbose;
    std::string pluginPath;
  };

  /// Adds -v,--verbose, -p,--plugin, -i,--info and the final callback.
  void addPluginFlags(CLI::App &app);

  /// A newly allocated copy of the version text; release it with free().
  char *versionString();

  /// Runs the selected action; asks for help when none was selected.
  void runSelectedAction(const PluginOptions &options);

  /// Loads one plugin library and prints its plugins and interfaces, or the
  /// loader's full report when `verbose` is non-zero.
  void printPluginInfo(const char *pluginPath, int verbose);
}

#endif
