#include <string>
#include <utility>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/detail/TypeName.hpp>

#include "LoaderImplementation.hpp"
#include "detail/WriteMessage.hpp"

namespace tova::plugin
{
  namespace
  {
    /// Both registries' answers to one question, merged.
    template <class Result, class Question>
    Result AskBoth(const Registry &loaded, const Registry &statics,
                   Question question)
    {
      Result result = question(loaded);
      Result more = question(statics);
      result.insert(more.begin(), more.end());
      return result;
    }

    /// Whether `registry` knows any alias: only then can its lookup of a
    /// name report an ambiguous one.
    bool KnowsAnAlias(const Registry &registry)
    {
      struct Reader : Registry
      {
        using Registry::aliasIndex;
      };
      return !(registry.*(&Reader::aliasIndex)).empty();
    }
  }

  bool detail::ListsSelfReference(const Info &record)
  {
    static const std::string selfKey(
        detail::keys::TypeKey<EnablePluginFromThis>());
    return record.interfaces.count(selfKey) > 0;
  }

  void detail::WireSelfReference(const PluginPtr &plugin)
  {
    void *const self = plugin->PrivateQueryInterface(
        detail::keys::TypeKey<EnablePluginFromThis>());
    if (self)
      static_cast<EnablePluginFromThis *>(self)->PrivateSetPluginFromThis(
          plugin);
  }

  std::string Loader::LookupPlugin(const std::string &nameOrAlias) const
  {
    std::string name = this->PrivateLookupFilePlugin(nameOrAlias);
    if (!name.empty())
      return name;
    name = this->PrivateLookupStaticPlugin(nameOrAlias);
    if (!name.empty())
      return name;
    detail::WriteMessage<MessageKind::UnknownName>(nameOrAlias);
    return name;
  }

  PluginPtr Loader::Instantiate(const std::string &nameOrAlias) const
  {
    // A plugin's own name, the usual argument, resolves to itself: its
    // library and record are found with one lookup and not copied here.
    const LoadedPlugin *const own =
        this->dataPtr->FindLoadedPlugin(nameOrAlias);
    const std::string aliasTarget =
        own ? std::string() : this->PrivateLookupFilePlugin(nameOrAlias);
    // The static lookup's only effect beside a loaded plugin is its report
    // of an ambiguous alias, which needs an alias.
    const std::string staticName =
        own && !KnowsAnAlias(*this->dataPtr->staticRegistry)
            ? std::string()
            : this->PrivateLookupStaticPlugin(nameOrAlias);
    // Read now: the factory runs code of the plugin, which may change this
    // loader.
    const bool mayWantSelfReference = !own || own->wantsSelfReference;

    auto plugin = std::make_unique<Plugin>();
    if (own)
    {
      plugin->PrivateCreatePluginInstance(own->record, own->library);
    }
    else if (!aliasTarget.empty())
    {
      const auto dlHandle = this->PrivateGetPluginDlHandlePtr(aliasTarget);
      plugin->PrivateCreatePluginInstance(
          this->PrivateGetInfoForFilePlugin(aliasTarget), dlHandle);
    }
    else if (!staticName.empty())
    {
      plugin->PrivateCreateStaticPluginInstance(
          this->PrivateGetInfoForStaticPlugin(staticName));
    }

    PluginPtr handle(std::move(plugin));
    if (mayWantSelfReference)
      detail::WireSelfReference(handle);
    return handle;
  }

  Loader::NameSet Loader::AllPlugins() const
  {
    return AskBoth<NameSet>(
        this->dataPtr->loadedRegistry, *this->dataPtr->staticRegistry,
        [](const Registry &registry) { return registry.AllPlugins(); });
  }

  Loader::InterfaceSet Loader::InterfacesImplemented() const
  {
    return AskBoth<InterfaceSet>(
        this->dataPtr->loadedRegistry, *this->dataPtr->staticRegistry,
        [](const Registry &registry) {
          return registry.InterfacesImplemented();
        });
  }

  Loader::PluginNameSet Loader::PluginsImplementing(
      const std::string &interfaceName, bool demangled) const
  {
    return AskBoth<PluginNameSet>(
        this->dataPtr->loadedRegistry, *this->dataPtr->staticRegistry,
        [&](const Registry &registry) {
          return registry.PluginsImplementing(interfaceName, demangled);
        });
  }

  Loader::NameSet Loader::PluginsWithAlias(const std::string &alias) const
  {
    return AskBoth<NameSet>(
        this->dataPtr->loadedRegistry, *this->dataPtr->staticRegistry,
        [&](const Registry &registry) {
          return registry.PluginsWithAlias(alias);
        });
  }

  Loader::NameSet Loader::AliasesOfPlugin(const std::string &pluginName) const
  {
    return AskBoth<NameSet>(
        this->dataPtr->loadedRegistry, *this->dataPtr->staticRegistry,
        [&](const Registry &registry) {
          return registry.AliasesOfPlugin(pluginName);
        });
  }

  std::string Loader::PrivateLookupFilePlugin(
      const std::string &nameOrAlias) const
  {
    return this->dataPtr->loadedRegistry.LookupPlugin(nameOrAlias);
  }

  std::string Loader::PrivateLookupStaticPlugin(
      const std::string &nameOrAlias) const
  {
    return this->dataPtr->staticRegistry->LookupPlugin(nameOrAlias);
  }

  std::shared_ptr<const Info> Loader::PrivateGetInfoForFilePlugin(
      const std::string &resolvedName) const
  {
    auto info = this->dataPtr->loadedRegistry.GetInfo(resolvedName);
    if (!info)
      detail::WriteMessage<MessageKind::LoadedRecordMissing>(resolvedName);
    return info;
  }

  std::shared_ptr<const Info> Loader::PrivateGetInfoForStaticPlugin(
      const std::string &resolvedName) const
  {
    auto info = this->dataPtr->staticRegistry->GetInfo(resolvedName);
    if (!info)
      detail::WriteMessage<MessageKind::StaticRecordMissing>(resolvedName);
    return info;
  }

  std::shared_ptr<void> Loader::PrivateGetPluginDlHandlePtr(
      const std::string &resolvedName) const
  {
    const LoadedPlugin *const found =
        this->dataPtr->FindLoadedPlugin(resolvedName);
    if (found)
      return found->library;
    detail::WriteMessage<MessageKind::PluginLibraryMissing>(resolvedName);
    return nullptr;
  }
}
