#include <dlfcn.h>

#include <iterator>
#include <memory>
#include <utility>

#include <tova/plugin/Loader.hpp>
#include <tova/plugin/detail/Hook.hpp>
#include <tova/plugin/detail/LibraryRelease.hpp>

#include "LibraryFile.hpp"
#include "detail/WriteMessage.hpp"
#include "LoaderImplementation.hpp"

namespace tova::plugin
{
  namespace
  {
    void CloseLibrary(void *handle)
    {
      detail::CloseLibraryWhenSafe(handle);
    }

    /// Readable interface names, demangled once per load however many
    /// records share them.
    class InterfaceNameCache
    {
    public:
      std::string Demangle(const std::string &symbol)
      {
        auto found = this->names.find(symbol);
        if (found != this->names.end())
          return found->second;
        std::string readable = DemangleSymbol(symbol);
        // Only names that demangled are kept, so a name that does not is
        // reported for every record, as it would be without the cache.
        if (readable != symbol)
          this->names.emplace(symbol, readable);
        return readable;
      }

    private:
      std::unordered_map<std::string, std::string> names;
    };

    void ReportLoadError(const std::string &path, const char *error)
    {
      detail::WriteMessage<MessageKind::LibraryNotOpened>(
          path, error ? error : "");
    }

    /// A copy of every field of a library's record, under the readable
    /// names of the plugin and its interfaces. Built field by field, so
    /// that the plugin's ABI name is never copied only to be replaced.
    Info ReadableCopy(const Info &record, InterfaceNameCache &interfaceNames)
    {
      Info copy{DemangleSymbol(record.name), record.aliases,
                record.interfaces,           record.demangledInterfaces,
                record.factory,              record.deleter};
      for (const auto &entry : record.interfaces)
        copy.demangledInterfaces.insert(interfaceNames.Demangle(entry.first));
      return copy;
    }
  }

  Loader::Loader()
    : dataPtr(std::make_unique<Implementation>())
  {
    this->dataPtr->staticRegistry = &StaticRegistry::GetInstance();
  }

  Loader::~Loader()
  {
    this->dataPtr->ForgetEverything();
    detail::CloseDeferredLibraries();
  }

  Loader::PluginNameSet Loader::LoadLib(const std::string &path)
  {
    return this->LoadLib(path, false);
  }

  Loader::PluginNameSet Loader::LoadLib(const std::string &path,
                                        bool neverUnload)
  {
    detail::CloseDeferredLibraries();
    const DlHandlePtr dlHandle = this->dataPtr->LoadLib(path, neverUnload);
    if (!dlHandle)
      return {};

    std::vector<Info> records = this->dataPtr->LoadPlugins(dlHandle, path);
    return this->dataPtr->RegisterRecords(std::move(records), dlHandle);
  }

  namespace
  {
    /// A record copied out of a library, with a reference to that library:
    /// the record's functions are its code, so it stays loaded while the
    /// record lives, also in a handle that holds the record alone.
    struct RecordOfLibrary
    {
      RecordOfLibrary(DlHandlePtr _library, Info &&_record)
        : library(std::move(_library)), record(std::move(_record))
      {
      }

      // Declared first so that it is released last, after the record.
      DlHandlePtr library;
      Info record;
    };
  }

  Registry::ConstInfoPtr LoadedRegistry::Take(Info &&record,
                                              const DlHandlePtr &library)
  {
    if (this->infos.count(record.name) != 0)
      return nullptr;
    const auto holder =
        std::make_shared<const RecordOfLibrary>(library, std::move(record));
    ConstInfoPtr stored(holder, &holder->record);
    this->StoreInfo(stored);
    return stored;
  }

  Loader::PluginNameSet Loader::Implementation::RegisterRecords(
      std::vector<Info> &&records, const DlHandlePtr &dlHandle)
  {
    PluginNameSet names;
    for (const Info &record : records)
      names.insert(record.name);
    // Copied before anything is registered, so that storing it cannot fail
    // after the records are in.
    std::vector<std::string> namesOfLibrary(names.begin(), names.end());
    std::vector<Registry::ConstInfoPtr> added;
    added.reserve(records.size());
    try
    {
      for (Info &record : records)
      {
        // A name that another library registered first keeps that library:
        // its record, whose code lives there, is the one that stays.
        Registry::ConstInfoPtr stored =
            this->loadedRegistry.Take(std::move(record), dlHandle);
        if (!stored)
          continue;
        added.push_back(stored);
        const std::string &name = stored->name;
        this->loadedPlugins.try_emplace(
            name, LoadedPlugin{dlHandle, std::move(stored)});
      }
      this->pluginsOfLibrary.insert_or_assign(dlHandle.get(),
                                              std::move(namesOfLibrary));
    }
    catch (...)
    {
      // All or nothing: a record left behind without its library entry
      // would outlive the library that its code lives in.
      for (const Registry::ConstInfoPtr &record : added)
      {
        this->loadedRegistry.ForgetInfo(record->name);
        this->loadedPlugins.erase(record->name);
      }
      throw;
    }
    return names;
  }

  DlHandlePtr Loader::Implementation::LoadLib(const std::string &path,
                                              bool neverUnload)
  {
    const std::string refused = detail::LibraryPathError(path);
    if (!refused.empty())
    {
      ReportLoadError(path, refused.c_str());
      return nullptr;
    }

    dlerror();
    const int mode = neverUnload ? RTLD_LAZY | RTLD_NODELETE : RTLD_LAZY;
    void *const handle = dlopen(path.c_str(), mode);
    // Only a null handle is a failure. An error text pending beside a handle
    // is not the open's own: start-up code of the library left it, say by
    // probing for an optional symbol that the program does not define.
    const char *const error = dlerror();
    if (!handle)
    {
      ReportLoadError(path, error);
      return nullptr;
    }

    const auto known = this->openLibraries.find(handle);
    if (known != this->openLibraries.end())
    {
      if (DlHandlePtr live = known->second.lock())
      {
        // The live handle already owns one reference; return the new one.
        dlclose(handle);
        return live;
      }
    }

    this->ForgetClosedLibraries();
    // Should allocating the control block fail, shared_ptr runs the
    // deleter, which closes the handle before the failure propagates.
    DlHandlePtr dlHandle(handle, &CloseLibrary);
    this->openLibraries[handle] = dlHandle;
    return dlHandle;
  }

  std::vector<Info> Loader::Implementation::LoadPlugins(
      const DlHandlePtr &dlHandle, const std::string &path) const
  {
    void *const symbol = dlsym(dlHandle.get(), detail::PluginHookSymbol);
    if (!symbol)
    {
      detail::WriteMessage<MessageKind::HookMissing>(
          path, detail::PluginHookSymbol);
      return {};
    }

    const void *output = nullptr;
    std::int32_t version = InfoVersion;
    std::uint64_t size = InfoSize;
    std::uint64_t alignment = InfoAlignment;
    reinterpret_cast<detail::PluginHookFunction>(symbol)(
        nullptr, &output, &version, &size, &alignment);

    if (version != InfoVersion)
    {
      detail::WriteMessage<MessageKind::IncompatibleVersion>(
          path, version, InfoVersion);
      return {};
    }

    if (size != InfoSize || alignment != InfoAlignment)
    {
      detail::WriteMessage<MessageKind::InconsistentLayout>(
          path, InfoSize, size, InfoAlignment, alignment);
      return {};
    }

    if (!output)
    {
      detail::WriteMessage<MessageKind::RecordsNotProvided>(path);
      return {};
    }

    const auto &libraryRecords = *static_cast<const PluginInfoMap *>(output);
    std::vector<Info> records;
    // Counted by walking the nodes, which is all of the map that is read.
    records.reserve(static_cast<std::size_t>(
        std::distance(libraryRecords.begin(), libraryRecords.end())));
    InterfaceNameCache interfaceNames;
    for (const auto &entry : libraryRecords)
      records.push_back(ReadableCopy(entry.second, interfaceNames));
    return records;
  }

  std::string Loader::PrettyStr() const
  {
    return "Loaded plugins registry: \n" +
           this->dataPtr->loadedRegistry.PrettyStr() +
           "Static plugins registry: \n" +
           this->dataPtr->staticRegistry->PrettyStr();
  }
}
