#include <tova/plugin/Registry.hpp>

#include "detail/WriteMessage.hpp"

namespace tova::plugin
{
  namespace
  {
    /// Takes `info`'s name out of the entries of its aliases that exist.
    /// Entries stay, possibly empty: an alias once known is never dropped.
    void UnindexAliases(std::map<std::string, Registry::NameSet> &aliasIndex,
                        const Info &info)
    {
      for (const auto &alias : info.aliases)
      {
        const auto entry = aliasIndex.find(alias);
        if (entry != aliasIndex.end())
          entry->second.erase(info.name);
      }
    }
  }

  Registry::Registry() = default;

  Registry::~Registry() = default;

  Registry::NameSet Registry::AllPlugins() const
  {
    NameSet names;
    for (const auto &entry : infos)
      names.insert(entry.first);
    return names;
  }

  Registry::ConstInfoPtr Registry::GetInfo(const std::string &pluginName) const
  {
    const auto found = infos.find(pluginName);
    return found == infos.end() ? nullptr : found->second;
  }

  bool Registry::AddInfo(const Info &info)
  {
    // A refused record leaves no trace, not even its aliases: nothing could
    // withdraw them later, and they would keep naming a forgotten plugin.
    if (infos.count(info.name) != 0)
      return false;

    this->StoreInfo(std::make_shared<const Info>(info));
    return true;
  }

  void Registry::StoreInfo(const ConstInfoPtr &stored)
  {
    infos.emplace(stored->name, stored);
    try
    {
      for (const auto &alias : stored->aliases)
        aliasIndex[alias].insert(stored->name);
    }
    catch (...)
    {
      // Withdrawn whole, so that a failure leaves no half-indexed record.
      UnindexAliases(aliasIndex, *stored);
      infos.erase(stored->name);
      throw;
    }
  }

  void Registry::ForgetInfo(const std::string &pluginName)
  {
    const ConstInfoPtr info = GetInfo(pluginName);
    if (!info)
      return;

    UnindexAliases(aliasIndex, *info);
    infos.erase(pluginName);
  }

  std::string Registry::LookupPlugin(const std::string &nameOrAlias) const
  {
    if (GetInfo(nameOrAlias))
      return nameOrAlias;

    const auto found = aliasIndex.find(nameOrAlias);
    if (found == aliasIndex.end() || found->second.empty())
      return {};

    const NameSet &carriers = found->second;
    if (carriers.size() == 1)
      return *carriers.begin();

    detail::WriteMessage<MessageKind::AmbiguousAlias>(
        nameOrAlias, detail::ListedNames(carriers));
    return {};
  }

  Registry::NameSet Registry::AliasesOfPlugin(
      const std::string &pluginName) const
  {
    const ConstInfoPtr info = GetInfo(pluginName);
    return info ? info->aliases : NameSet{};
  }

  Registry::NameSet Registry::PluginsWithAlias(const std::string &alias) const
  {
    NameSet names;
    const auto found = aliasIndex.find(alias);
    if (found != aliasIndex.end())
      names = found->second;
    if (GetInfo(alias))
      names.insert(alias);
    return names;
  }

  Registry::InterfaceSet Registry::InterfacesImplemented() const
  {
    InterfaceSet interfaceNames;
    for (const auto &name : AllPlugins())
    {
      const ConstInfoPtr info = GetInfo(name);
      interfaceNames.insert(info->demangledInterfaces.begin(),
                            info->demangledInterfaces.end());
    }
    return interfaceNames;
  }

  Registry::PluginNameSet Registry::PluginsImplementing(
      const std::string &interfaceName, bool demangled) const
  {
    PluginNameSet names;
    for (const auto &name : AllPlugins())
    {
      const ConstInfoPtr info = GetInfo(name);
      const bool implements =
          demangled ? info->demangledInterfaces.count(interfaceName) != 0
                    : info->interfaces.count(interfaceName) != 0;
      if (implements)
        names.insert(info->name);
    }
    return names;
  }
}
