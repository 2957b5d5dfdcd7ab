// Loads the plugin library named on the command line, makes an instance of
// its plugin by alias and calls it through its interface.
#include <iostream>
#include <string>

#include <consumer/Greeter.hpp>
#include <tova/plugin/Loader.hpp>

int main(int argc, char **argv)
{
  if (argc != 2)
  {
    std::cerr << "usage: consumer-app PLUGIN_LIBRARY\n";
    return 2;
  }
  tova::plugin::Loader loader;
  for (const std::string &name : loader.LoadLib(argv[1]))
    std::cout << "plugin: " << name << '\n';

  const tova::plugin::PluginPtr plugin = loader.Instantiate("hello");
  const auto *greeter =
      plugin ? plugin->QueryInterface<consumer::Greeter>() : nullptr;
  if (!greeter)
  {
    std::cerr << "no greeter\n";
    return 1;
  }
  std::cout << "greeting: " << greeter->Greet("installed") << '\n';
  return 0;
}
