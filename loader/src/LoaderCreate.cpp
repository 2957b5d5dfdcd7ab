#include <functional>
#include <string>
#include <utility>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/detail/PooledAllocator.hpp>
#include <tova/plugin/detail/TypeName.hpp>

#include "LoaderImplementation.hpp"
#include "detail/WriteMessage.hpp"

namespace tova::plugin
{
  namespace
  {
    /// \brief The deleter of an instance from `Loader::Create`, kept in the
    /// instance's one shared record beside its counts.
    ///
    /// Called once, by the last owner: destroys the object with the
    /// plugin's deleter, then lets go of the plugin's description, which
    /// holds the library that its code lives in: the library goes last,
    /// through the library handle's own deleter. What weak owners keep of
    /// the record afterwards holds nothing.
    class InstanceRecord
    {
    public:
      explicit InstanceRecord(Registry::ConstInfoPtr info)
        : info(std::move(info))
      {
      }

      void operator()(void * /*interface*/)
      {
        if (this->object)
          this->info->deleter(this->object);
        this->object = nullptr;
        this->info.reset();
      }

      /// The address that the factory returned.
      void *object = nullptr;

    private:
      Registry::ConstInfoPtr info;
    };

    /// The cast to `interfaceKey` among the record's interfaces, or null.
    const std::function<void *(void *)> *FindCast(const Info &info,
                                                  std::string_view key)
    {
      for (const auto &[name, cast] : info.interfaces)
      {
        if (name == key)
          return &cast;
      }
      return nullptr;
    }

    void ReportMissingInterface(const std::string &pluginName,
                                std::string_view interfaceKey)
    {
      detail::WriteMessage<MessageKind::InterfaceNotImplemented>(
          pluginName, DemangleSymbol(std::string(interfaceKey)));
    }

    /// The instance seen as the interface that `interfaceKey` names, owning
    /// the whole instance; empty if the handle holds none, and reported if
    /// the instance lacks the interface.
    std::shared_ptr<void> InterfaceOf(const PluginPtr &plugin,
                                      std::string_view interfaceKey)
    {
      if (plugin.IsEmpty())
        return nullptr;
      void *const address = plugin->PrivateQueryInterface(interfaceKey);
      if (!address)
      {
        ReportMissingInterface(*plugin->Name(), interfaceKey);
        return nullptr;
      }
      return std::shared_ptr<void>(plugin->PrivateGetInstancePtr(), address);
    }
  }

  bool detail::HasEveryFunction(const Info &record)
  {
    if (!record.factory || !record.deleter)
      return false;
    for (const auto &entry : record.interfaces)
    {
      if (!entry.second)
        return false;
    }
    return true;
  }

  std::shared_ptr<void> Loader::PrivateCreate(
      const std::string &nameOrAlias, std::string_view interfaceKey) const
  {
    const LoadedPlugin *entry = this->dataPtr->FindLoadedPlugin(nameOrAlias);
    if (!entry)
    {
      const std::string aliasTarget =
          this->PrivateLookupFilePlugin(nameOrAlias);
      if (aliasTarget.empty())
        return this->PrivateCreateStatic(nameOrAlias, interfaceKey);
      entry = this->dataPtr->FindLoadedPlugin(aliasTarget);
    }
    // Plugins that want a reference to themselves, and records that lack
    // a function or an entry, take the full path of Instantiate, which
    // handles them as it always does.
    if (!entry)
      return InterfaceOf(this->Instantiate(nameOrAlias), interfaceKey);
    if (!entry->creatableDirectly)
      return InterfaceOf(this->Instantiate(entry->record->name),
                         interfaceKey);
    const std::function<void *(void *)> *const cast =
        FindCast(*entry->record, interfaceKey);
    if (!cast)
    {
      ReportMissingInterface(entry->record->name, interfaceKey);
      return nullptr;
    }

    const std::function<void *()> &factory = entry->record->factory;
    // The record keeps the description, and with it the library, alive
    // for the cast, whatever the factory's code does to this loader.
    InstanceRecord record(entry->record);
    record.object = factory();
    if (!record.object)
    {
      detail::WriteMessage<MessageKind::InstanceMissing>();
      return nullptr;
    }
    void *const address = (*cast)(record.object);
    // Should allocating the shared record fail, shared_ptr calls the
    // record, which destroys the object and lets go of the description
    // (and with it of the library). Pooled: instances made this way are
    // often short-lived.
    return std::shared_ptr<void>(address, std::move(record),
                                 detail::PooledAllocator<char>());
  }

  std::shared_ptr<void> Loader::PrivateCreateStatic(
      const std::string &nameOrAlias, std::string_view interfaceKey) const
  {
    const std::string name = this->PrivateLookupStaticPlugin(nameOrAlias);
    if (name.empty())
      return nullptr;
    PluginPtr plugin(std::make_unique<Plugin>());
    plugin->PrivateCreateStaticPluginInstance(
        this->PrivateGetInfoForStaticPlugin(name));
    detail::WireSelfReference(plugin);
    return InterfaceOf(plugin, interfaceKey);
  }
}
