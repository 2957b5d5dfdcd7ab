#ifndef TOVA_PLUGIN_LOADER_SRC_LIBRARYFILE_HPP_
#define TOVA_PLUGIN_LOADER_SRC_LIBRARYFILE_HPP_

#include <string>

namespace tova::plugin::detail
{
  /// The reason a library file must not reach dlopen, or an empty string.
  ///
  /// The platform's loader maps the segments that a library's headers
  /// describe and touches them; a file cut short before the end of one of
  /// them kills the process with a bus error instead of failing. Paths
  /// without a slash are left to the platform's search and not checked.
  std::string TruncatedLibraryError(const std::string &path);
}

#endif
