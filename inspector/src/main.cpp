#include <cstdlib>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "Inspector.hpp"
#include "TovaFormatter.hpp"

int main(int argc, char **argv)
{
  using namespace tova::plugin;

  CLI::App app("Print information about plugins.\n", "");
  app.add_flag_callback(
      "--version",
      []() {
        const std::unique_ptr<char, decltype(&free)> version(versionString(),
                                                              &free);
        std::cout << version.get() << std::endl;
        throw CLI::Success();
      },
      "Print version number");
  addPluginFlags(app);
  // After the options: the formatter reads their relations once, here.
  app.formatter(std::make_shared<TovaFormatter>(&app));

  try
  {
    app.parse(argc, argv);
  }
  catch (const CLI::ParseError &error)
  {
    return app.exit(error);
  }
  return 0;
}
