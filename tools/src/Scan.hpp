#ifndef TOVA_PLUGIN_TOOLS_SCAN_HPP_
#define TOVA_PLUGIN_TOOLS_SCAN_HPP_

#include <ostream>
#include <string>
#include <vector>

namespace tova::plugin::tool
{
  /// Prints what a catalog of `directories` knows, without loading any
  /// library; returns the exit status (1 when a file is not described).
  int ScanDirectories(const std::vector<std::string> &directories, bool json,
                      std::ostream &out, std::ostream &err);
}

#endif
