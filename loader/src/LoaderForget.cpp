#include <dlfcn.h>

#include <vector>

#include <tova/plugin/Loader.hpp>
#include <tova/plugin/detail/LibraryRelease.hpp>

#include "LibraryFile.hpp"
#include "LoaderImplementation.hpp"

namespace tova::plugin
{
  bool Loader::ForgetLibrary(const std::string &path)
  {
    detail::CloseDeferredLibraries();
    // A path cut short at a null byte would name another library.
    if (detail::HasNullByte(path))
      return false;
    // Finds the library only if it is loaded already; never loads it.
    void *const handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
      return false;
    dlclose(handle);
    return this->dataPtr->ForgetLibrary(handle);
  }

  bool Loader::ForgetLibraryOfPlugin(const std::string &nameOrAlias)
  {
    detail::CloseDeferredLibraries();
    const std::string name = this->LookupPlugin(nameOrAlias);
    // Not found is an empty name, which must not find a plugin that a
    // library registered under the empty name.
    if (name.empty())
      return false;
    const LoadedPlugin *const found = this->dataPtr->FindLoadedPlugin(name);
    if (!found)
      return false;
    return this->dataPtr->ForgetLibrary(found->library.get());
  }

  bool Loader::Implementation::ForgetLibrary(void *rawHandle)
  {
    const auto library = this->pluginsOfLibrary.find(rawHandle);
    if (library == this->pluginsOfLibrary.end())
      return false;

    // Released only after every change to the maps: closing the library
    // runs its destructors, which may call this loader again.
    std::vector<DlHandlePtr> released;
    released.reserve(library->second.size());
    for (const std::string &name : library->second)
    {
      const auto owner = this->loadedPlugins.find(name);
      // A name whose record came from another library stays with it.
      if (owner == this->loadedPlugins.end() ||
          owner->second.library.get() != rawHandle)
        continue;
      // The record goes before the library: its code lives there.
      this->loadedRegistry.ForgetInfo(name);
      released.push_back(std::move(owner.value().library));
      this->loadedPlugins.erase(owner);
    }
    this->pluginsOfLibrary.erase(library);
    return true;
  }

  void Loader::Implementation::ForgetEverything()
  {
    // Repeated, since code that runs while a library closes may load more
    // through this loader; each round leaves the maps consistent before it
    // lets go of any library.
    while (!this->loadedPlugins.empty())
    {
      LoadedPluginMap released;
      released.swap(this->loadedPlugins);
      for (const auto &entry : released)
        this->loadedRegistry.ForgetInfo(entry.second.record->name);
      this->pluginsOfLibrary.clear();
      this->openLibraries.clear();
    }
  }

  const LoadedPlugin *Loader::Implementation::FindLoadedPlugin(
      const std::string &name) const
  {
    const auto found = this->loadedPlugins.find(name);
    return found == this->loadedPlugins.end() ? nullptr : &found->second;
  }

  void Loader::Implementation::ForgetClosedLibraries()
  {
    for (auto entry = this->openLibraries.begin();
         entry != this->openLibraries.end();)
    {
      if (!entry->second.expired())
      {
        ++entry;
        continue;
      }
      // No reference of this loader holds that library any more, so no
      // plugin of it is registered either.
      this->pluginsOfLibrary.erase(entry->first);
      entry = this->openLibraries.erase(entry);
    }
  }
}
