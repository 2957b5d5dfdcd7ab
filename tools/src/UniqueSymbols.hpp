#ifndef TOVA_PLUGIN_TOOLS_UNIQUESYMBOLS_HPP_
#define TOVA_PLUGIN_TOOLS_UNIQUESYMBOLS_HPP_

#include <string>
#include <vector>

namespace tova::plugin::tool
{
  /// The GNU unique symbols that the library at `path` defines in its
  /// dynamic symbol table, in table order; none when it cannot be read.
  /// The platform never unloads a library that defines one.
  std::vector<std::string> UniqueSymbols(const std::string &path);
}

#endif
