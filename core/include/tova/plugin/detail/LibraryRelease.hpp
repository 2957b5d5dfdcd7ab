#ifndef TOVA_PLUGIN_DETAIL_LIBRARYRELEASE_HPP_
#define TOVA_PLUGIN_DETAIL_LIBRARYRELEASE_HPP_

#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin::detail
{
  /// \brief Gives back one reference to a library opened with `dlopen`.
  ///
  /// When the calling thread is still running code of that library (its
  /// call stack holds a return address inside it), closing now could unmap
  /// the code that the thread returns into; the close is then deferred
  /// until that thread reaches a point where none of the library's code can
  /// run on it (see `CloseDeferredLibraries`), at the latest when the thread
  /// or the process ends.
  TOVA_PLUGIN_EXPORT void CloseLibraryWhenSafe(void *handle);

  /// \brief Closes the libraries whose close the calling thread deferred
  /// and whose code its call stack no longer holds.
  ///
  /// Called by the framework's own operations that an application calls:
  /// loading and forgetting libraries, destroying a loader, cleaning up
  /// lost products, and every library release. Does nothing, at the cost
  /// of one check, when nothing was deferred.
  TOVA_PLUGIN_EXPORT void CloseDeferredLibraries();
}

#endif
