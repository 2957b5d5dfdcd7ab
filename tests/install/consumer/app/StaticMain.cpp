// A program that links the consumer's plugin as a static plugin: the
// loader makes it by alias as it would from a library, and the program's
// own manifest lists it.
#include <iostream>
#include <variant>

#include <consumer/Greeter.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Manifest.hpp>

int main()
{
  tova::plugin::Loader loader;
  const tova::plugin::PluginPtr plugin = loader.Instantiate("hello");
  const auto *greeter =
      plugin ? plugin->QueryInterface<consumer::Greeter>() : nullptr;
  if (!greeter)
  {
    std::cerr << "no static greeter\n";
    return 1;
  }
  std::cout << "greeting: " << greeter->Greet("static") << '\n';

  const auto manifest = tova::plugin::ReadManifest("/proc/self/exe");
  if (const auto *error = std::get_if<tova::plugin::ManifestError>(&manifest))
  {
    std::cerr << error->message << '\n';
    return 1;
  }
  for (const tova::plugin::ManifestPlugin &listed :
       std::get<tova::plugin::Manifest>(manifest).plugins)
    std::cout << "manifest: " << listed.name << '\n';
  return 0;
}
