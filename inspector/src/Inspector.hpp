#ifndef TOVA_PLUGIN_INSPECTOR_INSPECTOR_HPP_
#define TOVA_PLUGIN_INSPECTOR_INSPECTOR_HPP_

#include <string>

#include <CLI/CLI.hpp>

namespace tova::plugin
{
  /// \brief What the final step of the parse performs.
  enum class InspectorAction : int
  {
    /// Nothing selected: the help screen is shown.
    None = 0,
    /// Print what a plugin library holds.
    PluginInfo = 1
  };

  /// \brief What the user selected on the command line.
  struct PluginOptions
  {
    /// Set by -i,--info.
    InspectorAction action;
    /// 1 when -v,--verbose was given.
    int verbose;
    /// The value of -p,--plugin; empty when it was not given.
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
