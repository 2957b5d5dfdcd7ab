// Loads the plugin library named on the command line, makes an instance of
// its plugin by alias and calls it through its interface. A failed load
// goes to the program's own message handler, not to the standard error
// stream.
#include <iostream>
#include <string>

#include <consumer/Greeter.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Messages.hpp>

int main(int argc, char **argv)
{
  if (argc != 2)
  {
    std::cerr << "usage: consumer-app PLUGIN_LIBRARY\n";
    return 2;
  }
  tova::plugin::SetMessageHandler(
      [](const tova::plugin::Message &message)
      {
        const bool whole =
            message.text.rfind("Error while loading the library [", 0) == 0 &&
            message.text.back() == '\n';
        if (message.kind == tova::plugin::MessageKind::LibraryNotOpened && whole)
          std::cout << "failed load: captured\n";
      });
  tova::plugin::Loader loader;
  loader.LoadLib(std::string(argv[1]) + ".missing");
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
