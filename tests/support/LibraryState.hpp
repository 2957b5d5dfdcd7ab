#ifndef TOVA_TESTS_SUPPORT_LIBRARYSTATE_HPP_
#define TOVA_TESTS_SUPPORT_LIBRARYSTATE_HPP_

#include <dlfcn.h>

#include <string>

namespace tova::test
{
  /// True while the library at `path` is loaded in this process; never
  /// loads it and leaves its reference count as it was.
  inline bool IsLoaded(const std::string &path)
  {
    void *const handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
      dlclose(handle);
    return handle != nullptr;
  }

  /// The platform's own text for a failure to open `path`.
  inline std::string OpenError(const std::string &path)
  {
    dlerror();
    void *const handle = dlopen(path.c_str(), RTLD_LAZY);
    const char *const error = dlerror();
    if (handle)
      dlclose(handle);
    return error ? error : "";
  }
}

#endif
