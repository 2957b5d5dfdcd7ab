// Loads a plugin library, uses its plugin, forgets the library and reports
// whether the platform has unmapped it.
#include <dlfcn.h>

#include <iostream>

#include <consumer/Greeter.hpp>
#include <tova/plugin/Loader.hpp>

int main(int argc, char **argv)
{
  if (argc != 2)
  {
    std::cerr << "usage: consumer-unloading-app PLUGIN_LIBRARY\n";
    return 2;
  }
  {
    tova::plugin::Loader loader;
    if (loader.LoadLib(argv[1]).empty())
      return 1;
    {
      const tova::plugin::PluginPtr plugin =
          loader.Instantiate("consumer::Counting");
      std::cout << plugin->QueryInterface<consumer::Greeter>()->Greet("you")
                << '\n';
    }
    loader.ForgetLibrary(argv[1]);
  }
  const bool mapped = dlopen(argv[1], RTLD_LAZY | RTLD_NOLOAD) != nullptr;
  std::cout << (mapped ? "library still mapped" : "library closed") << '\n';
  return 0;
}
