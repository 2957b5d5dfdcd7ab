// The inspector's command line, parsed from any arguments with the
// inspector's own options and help formatter. The final callback is
// replaced, so that no library is ever loaded. Checks: only CLI11's parse
// errors leave the parse, exit() renders each of them, and a parse that
// succeeds has honoured "--info needs --plugin".

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "FuzzInput.hpp"
#include "Inspector.hpp"
#include "TovaFormatter.hpp"

namespace
{
  /// The arguments: the fuzzer's bytes split at null bytes, after the
  /// program name.
  std::vector<std::string> Arguments(const std::uint8_t *data,
                                     std::size_t size)
  {
    std::vector<std::string> arguments{"tova-plugin-info"};
    std::string current;
    for (std::size_t index = 0; index < size; ++index)
    {
      if (data[index] != 0)
      {
        current += static_cast<char>(data[index]);
        continue;
      }
      arguments.push_back(current);
      current.clear();
    }
    arguments.push_back(current);
    return arguments;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size)
{
  using tova::fuzz::Check;
  const std::vector<std::string> arguments = Arguments(data, size);
  std::vector<const char *> argv;
  for (const std::string &argument : arguments)
    argv.push_back(argument.c_str());

  CLI::App app("Print information about plugins.\n", "");
  app.add_flag_callback(
      "--version", [] { throw CLI::Success(); }, "Print version number");
  tova::plugin::addPluginFlags(app);
  bool finished = false;
  app.callback([&finished] { finished = true; });
  app.formatter(std::make_shared<tova::plugin::TovaFormatter>(&app));

  try
  {
    app.parse(static_cast<int>(argv.size()), argv.data());
  }
  catch (const CLI::ParseError &error)
  {
    std::ostringstream out;
    std::ostringstream err;
    Check(app.exit(error, out, err) == error.get_exit_code(),
          "exit status of a parse error");
    return 0;
  }
  Check(finished, "a complete parse runs the final callback");
  Check(app.count("--info") == 0 || app.count("--plugin") != 0,
        "--info needs --plugin");
  return 0;
}
