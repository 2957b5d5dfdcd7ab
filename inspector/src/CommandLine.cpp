#include <cstring>
#include <memory>

#include "Inspector.hpp"

namespace tova::plugin
{
  void addPluginFlags(CLI::App &app)
  {
    auto options = std::make_shared<PluginOptions>();
    app.add_flag_callback(
        "-v,--verbose", [options]() { options->verbose = 1; },
        "Print verbose info.");
    CLI::Option *plugin =
        app.add_option("-p,--plugin", options->pluginPath, "Path to a plugin.");
    app.add_flag_callback(
           "-i,--info",
           [options]() { options->action = InspectorAction::PluginInfo; },
           "Get info about a plugin.")
        ->needs(plugin);
    app.callback([options]() { runSelectedAction(*options); });
  }

  char *versionString()
  {
    return strdup(TOVA_PLUGIN_VERSION);
  }

  void runSelectedAction(const PluginOptions &options)
  {
    switch (options.action)
    {
    case InspectorAction::PluginInfo:
      printPluginInfo(options.pluginPath.c_str(), options.verbose);
      return;
    case InspectorAction::None:
      break;
    }
    throw CLI::CallForHelp();
  }
}
