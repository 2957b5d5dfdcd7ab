#ifndef TOVA_PLUGIN_LOADER_HPP_
#define TOVA_PLUGIN_LOADER_HPP_

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/Export.hpp>
#include <tova/plugin/detail/TypeName.hpp>

namespace tova::plugin
{
  /// \brief Opens plugin libraries, registers their plugins, and makes
  /// plugin instances from them and from the static registry.
  ///
  /// A library stays open while this loader has plugins registered from it
  /// or any instance made from it lives; it closes when the last of these
  /// goes, after the last instance's deleter has run.
  ///
  /// One plugin name from two libraries: the first library's record stays
  /// registered, and that library stays open while it does. The second
  /// library still reports the name from `LoadLib`, but its record is not
  /// registered and does not keep it open. Forgetting the first library
  /// forgets the name (load the second again to register its record);
  /// forgetting the second leaves the name and the first library alone.
  ///
  /// Not synchronised: its `const` operations may run on several threads
  /// at once while no thread calls a changing one (`LoadLib`,
  /// `ForgetLibrary`, `ForgetLibraryOfPlugin`, destruction) on the same
  /// loader; otherwise guard the loader with a mutex of your own.
  class TOVA_PLUGIN_EXPORT Loader
  {
  public:
    /// Plugin names or aliases, in ascending byte-wise order.
    using NameSet = std::set<std::string>;
    /// Readable interface names, in no particular order.
    using InterfaceSet = std::unordered_set<std::string>;
    /// Plugin names, in no particular order.
    using PluginNameSet = std::unordered_set<std::string>;

    /// A loader with no libraries; it sees the static registry at once.
    Loader();

    Loader(const Loader &) = delete;
    Loader &operator=(const Loader &) = delete;

    /// Forgets every record, then lets go of every library. Libraries that
    /// live instances still use stay open until those are gone.
    ~Loader();

    /// Opens the library at `path` (searched as `dlopen` searches) and
    /// registers its plugins; returns their readable names, or an empty set
    /// after writing a message (see `SetMessageHandler`). Loading an
    /// open library again reuses its handle and reports the same names.
    PluginNameSet LoadLib(const std::string &path);

    /// As above; with `neverUnload` the library stays mapped for the rest
    /// of the process.
    PluginNameSet LoadLib(const std::string &path, bool neverUnload);

    /// The plugin name that `nameOrAlias` resolves to, loaded plugins
    /// first, then static ones; an empty string after a report.
    std::string LookupPlugin(const std::string &nameOrAlias) const;

    /// A new instance of the plugin that `nameOrAlias` resolves to (a loaded
    /// plugin before a static one of the same name), or an empty handle.
    /// The instance keeps its library loaded while it lives.
    PluginPtr Instantiate(const std::string &nameOrAlias) const;

    /// \brief A new instance of the plugin that `nameOrAlias` resolves to
    /// (as `Instantiate` resolves it), seen as its `T` part.
    ///
    /// The pointer owns the instance as a `PluginPtr` does: the last owner
    /// to let go runs the deleter on its own thread, and only then is the
    /// library released. Empty for a name that resolves nowhere, and empty
    /// after a message when the plugin does not implement `T`. Cheaper than
    /// `Instantiate`: the instance is the object and one shared record.
    template <class T>
    std::shared_ptr<T> Create(const std::string &nameOrAlias) const
    {
      return std::static_pointer_cast<T>(
          this->PrivateCreate(nameOrAlias, detail::keys::TypeKey<T>()));
    }

    /// Names of every plugin, loaded or static.
    NameSet AllPlugins() const;

    /// Readable names of every interface that a known plugin implements.
    InterfaceSet InterfacesImplemented() const;

    /// Plugins implementing the interface; `interfaceName` is readable if
    /// `demangled` is true, otherwise an ABI type name.
    PluginNameSet PluginsImplementing(const std::string &interfaceName,
                                      bool demangled = true) const;

    /// Plugins that carry `alias`, and `alias` itself if it names a plugin.
    NameSet PluginsWithAlias(const std::string &alias) const;

    /// Aliases of `pluginName` in either registry; empty if it is unknown.
    NameSet AliasesOfPlugin(const std::string &pluginName) const;

    /// The loaded and the static registry as a human-readable report.
    std::string PrettyStr() const;

    /// Forgets the plugins of the library at `path`, which closes once no
    /// instance needs it; false if this loader had not loaded it.
    bool ForgetLibrary(const std::string &path);

    /// Forgets the whole library that a loaded plugin came from; false for a
    /// static plugin or an unknown name.
    bool ForgetLibraryOfPlugin(const std::string &nameOrAlias);

    class Implementation;

  private:
    std::shared_ptr<void> PrivateCreate(const std::string &nameOrAlias,
                                        std::string_view interfaceKey) const;
    std::shared_ptr<void> PrivateCreateStatic(
        const std::string &nameOrAlias, std::string_view interfaceKey) const;
    std::string PrivateLookupFilePlugin(const std::string &nameOrAlias) const;
    std::string PrivateLookupStaticPlugin(
        const std::string &nameOrAlias) const;
    std::shared_ptr<const Info> PrivateGetInfoForFilePlugin(
        const std::string &resolvedName) const;
    std::shared_ptr<const Info> PrivateGetInfoForStaticPlugin(
        const std::string &resolvedName) const;
    std::shared_ptr<void> PrivateGetPluginDlHandlePtr(
        const std::string &resolvedName) const;

    std::unique_ptr<Implementation> dataPtr;
  };
}

#endif
