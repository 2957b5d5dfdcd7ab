#ifndef TOVA_PLUGIN_TOOLS_COMMANDLINE_HPP_
#define TOVA_PLUGIN_TOOLS_COMMANDLINE_HPP_

#include <ostream>

namespace tova::plugin::tool
{
  /// Runs the program `tova-plugin` with its command line, writing its
  /// report to `out` and reasons and usage errors to `err`. Returns the
  /// exit status: 0 success, 1 a finding or an unreadable library, 2 a
  /// usage error.
  int RunTool(int argc, const char *const *argv, std::ostream &out,
              std::ostream &err);
}

#endif
