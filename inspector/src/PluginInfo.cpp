#include <iostream>
#include <string>
#include <unordered_set>

#include <tova/plugin/Loader.hpp>

#include "Inspector.hpp"

namespace tova::plugin
{
  namespace
  {
    void PrintNameList(const std::unordered_set<std::string> &names,
                       const char *noun)
    {
      std::cout << "* Found " << names.size() << " " << noun
                << (names.size() == 1 ? "" : "s") << " in library file:"
                << std::endl;
      for (const std::string &name : names)
        std::cout << "  - " << name << std::endl;
    }
  }

  void printPluginInfo(const char *pluginPath, int verbose)
  {
    if (pluginPath == nullptr || *pluginPath == '\0')
    {
      std::cerr << "Invalid plugin file name. Plugin name must not be empty.\n";
      return;
    }

    Loader loader;
    std::cout << "Loading plugin library file [" << pluginPath << "]\n";
    const Loader::PluginNameSet pluginNames = loader.LoadLib(pluginPath);
    if (verbose != 0)
    {
      std::cout << loader.PrettyStr() << std::endl;
      return;
    }
    PrintNameList(pluginNames, "plugin");
    PrintNameList(loader.InterfacesImplemented(), "interface");
  }
}
