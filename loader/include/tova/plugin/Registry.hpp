#ifndef TOVA_PLUGIN_REGISTRY_HPP_
#define TOVA_PLUGIN_REGISTRY_HPP_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief Catalogue of plugin descriptions: one record per plugin name,
  /// with an index from aliases to the plugins that carry them.
  ///
  /// Names, aliases and interface names are stored and compared exactly as
  /// given. Operations that read records go through the virtual
  /// `AllPlugins` and `GetInfo`, so they serve derived registries too.
  /// Not synchronised: do not change a registry while another thread uses it.
  class TOVA_PLUGIN_EXPORT Registry
  {
  public:
    /// Plugin names or aliases, in ascending byte-wise order.
    using NameSet = std::set<std::string>;
    /// Readable interface names, in no particular order.
    using InterfaceSet = std::unordered_set<std::string>;
    /// Plugin names, in no particular order.
    using PluginNameSet = std::unordered_set<std::string>;
    /// A shared record; once stored it is never changed.
    using ConstInfoPtr = std::shared_ptr<const Info>;

    /// An empty registry.
    Registry();

    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    /// Drops the registry's references to its records; records still held
    /// elsewhere live on.
    virtual ~Registry();

    /// Names of all stored records, in ascending order.
    virtual NameSet AllPlugins() const;

    /// The record stored under exactly `pluginName`, or null.
    virtual ConstInfoPtr GetInfo(const std::string &pluginName) const;

    /// Stores a copy of `info`; false if its name is already present.
    virtual bool AddInfo(const Info &info);

    /// Removes the record and withdraws its name from its aliases.
    virtual void ForgetInfo(const std::string &pluginName);

    /// The one plugin name `nameOrAlias` resolves to, or an empty string.
    /// An alias carried by several plugins is reported and resolves to none.
    std::string LookupPlugin(const std::string &nameOrAlias) const;

    /// A copy of the plugin's aliases; empty if the plugin is unknown.
    NameSet AliasesOfPlugin(const std::string &pluginName) const;

    /// The plugins that carry `alias`, and `alias` itself if it names one.
    NameSet PluginsWithAlias(const std::string &alias) const;

    /// Readable names of every interface that a stored plugin implements.
    InterfaceSet InterfacesImplemented() const;

    /// Names of the plugins implementing the interface, given readable if
    /// `demangled` is true, otherwise as an ABI type name.
    PluginNameSet PluginsImplementing(const std::string &interfaceName,
                                      bool demangled = true) const;

    /// The whole state as a human-readable report.
    std::string PrettyStr() const;

  protected:
    /// Stores `info` itself, whose name is not present yet, and indexes its
    /// aliases; on a failure nothing stays stored.
    void StoreInfo(const ConstInfoPtr &info);

    /// Alias to the names of the plugins that carry it.
    std::map<std::string, NameSet> aliasIndex;

    /// Plugin name to its record.
    std::unordered_map<std::string, ConstInfoPtr> infos;
  };
}

#endif
