#ifndef TOVA_PLUGIN_LOADER_SRC_LOADERIMPLEMENTATION_HPP_
#define TOVA_PLUGIN_LOADER_SRC_LOADERIMPLEMENTATION_HPP_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <tsl/robin_map.h>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Registry.hpp>
#include <tova/plugin/StaticRegistry.hpp>

namespace tova::plugin
{
  /// Shared ownership of one open library handle; the last owner closes it.
  using DlHandlePtr = std::shared_ptr<void>;

  namespace detail
  {
    /// Whether `record` lists the self-reference interface.
    TOVA_PLUGIN_HIDDEN bool ListsSelfReference(const Info &record);

    /// Whether `record` has a factory, a deleter and every cast, which
    /// `Loader::Create` needs to make instances with its functions alone.
    TOVA_PLUGIN_HIDDEN bool HasEveryFunction(const Info &record);
  }

  /// A registered plugin's library and record, found with one lookup.
  struct LoadedPlugin
  {
    DlHandlePtr library;
    // Declared after the library so that it goes first: its code lives
    // there.
    Registry::ConstInfoPtr record;
    // Known once, so that instances need not ask for them.
    bool wantsSelfReference = detail::ListsSelfReference(*record);
    bool creatableDirectly =
        !wantsSelfReference && detail::HasEveryFunction(*record);
  };

  /// Registered plugins by name. Each key is a view of the name in the
  /// entry's own record, which lives as long as the entry: no copy of it.
  /// Open addressing with a power-of-two table and the hashes kept: the
  /// lookup of every instantiation costs no division and few comparisons.
  using LoadedPluginMap =
      tsl::robin_map<std::string_view, LoadedPlugin,
                     std::hash<std::string_view>,
                     std::equal_to<std::string_view>,
                     std::allocator<std::pair<std::string_view, LoadedPlugin>>,
                     true>;

  namespace detail
  {
    /// Gives a plugin that asks for it an owning handle to itself.
    TOVA_PLUGIN_HIDDEN void WireSelfReference(const PluginPtr &plugin);
  }

  /// The loader's registry of loaded plugins, which stores the records that
  /// the loader copied out of a library without copying them once more.
  class TOVA_PLUGIN_HIDDEN LoadedRegistry : public Registry
  {
  public:
    /// Stores `record` itself and returns it; null, leaving `record` as it
    /// was, when its name is present already. The stored record holds a
    /// reference to `library`, where the code of its functions lives, for
    /// as long as anything holds the record.
    ConstInfoPtr Take(Info &&record, const DlHandlePtr &library);
  };

  class TOVA_PLUGIN_HIDDEN Loader::Implementation
  {
  public:
    /// Opens the library, or finds the handle this loader already holds for
    /// it; empty after reporting a failure.
    DlHandlePtr LoadLib(const std::string &path, bool neverUnload);

    /// Copies of the records that the library's hook hands over, under
    /// readable names; empty after reporting a library that does not keep
    /// the hook's contract.
    std::vector<Info> LoadPlugins(const DlHandlePtr &dlHandle,
                                  const std::string &path) const;

    /// Registers `records`, copied from the library that `dlHandle` holds,
    /// and returns their names; the registered records are moved into the
    /// registry. Either every record is registered with its library entry
    /// and the library's name set, or, when that fails, nothing is changed
    /// and the failure propagates.
    PluginNameSet RegisterRecords(std::vector<Info> &&records,
                                  const DlHandlePtr &dlHandle);

    /// Forgets the plugins that the library with this handle provided.
    bool ForgetLibrary(void *rawHandle);

    /// Forgets every plugin and lets go of every library, leaving the
    /// loader empty and consistent while libraries close.
    void ForgetEverything();

    /// Drops the entries of libraries that have closed since. A library
    /// opened again may get another handle value, so in a long-lived
    /// loader they would pile up without end.
    void ForgetClosedLibraries();

    /// The entry registered under exactly `name`, or null.
    const LoadedPlugin *FindLoadedPlugin(const std::string &name) const;

    // Declared first so that it is destroyed last: the records below hold
    // code of these libraries.
    LoadedPluginMap loadedPlugins;
    LoadedRegistry loadedRegistry;
    std::unordered_map<void *, std::weak_ptr<void>> openLibraries;
    // The names of each library's records: a list, since they are only
    // walked, and a list costs fewer allocations than a set.
    std::unordered_map<void *, std::vector<std::string>> pluginsOfLibrary;
    StaticRegistry *staticRegistry = nullptr;
  };
}

#endif
