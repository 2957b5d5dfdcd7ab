#ifndef TOVA_PLUGIN_LOADER_SRC_LIBRARYFILE_HPP_
#define TOVA_PLUGIN_LOADER_SRC_LIBRARYFILE_HPP_

#include <string>

namespace tova::plugin::detail
{
  /// True when `path` holds a null byte: the platform would read it only
  /// up to there, and so name another file than the caller did.
  bool HasNullByte(const std::string &path);

  /// The reason a library path must not reach dlopen, or an empty string.
  ///
  /// Refuses a path with a null byte inside, and a library file cut short:
  /// the platform's loader maps the segments that a library's headers
  /// describe and touches them, and a file that ends before one of them
  /// kills the process with a bus error instead of failing. Paths without
  /// a slash are left to the platform's search and not checked for that.
  std::string LibraryPathError(const std::string &path);
}

#endif
