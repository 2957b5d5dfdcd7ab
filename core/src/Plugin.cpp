#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

#include <tova/plugin/Plugin.hpp>

#include "PluginWithDlHandle.hpp"
#include "detail/WriteMessage.hpp"

namespace tova::plugin
{
  class TOVA_PLUGIN_HIDDEN Plugin::Implementation
  {
  public:
    // Made and dropped with every handle: pooled like the Plugin.
    static void *operator new(std::size_t size)
    {
      return detail::AllocatePooledBlock(size);
    }

    static void operator delete(void *block, std::size_t size) noexcept
    {
      detail::ReleasePooledBlock(block, size);
    }

    /// Makes a new instance from `info`, holding `dlHandlePtr` until the
    /// instance is destroyed.
    void Create(const std::shared_ptr<const Info> &info,
                const std::shared_ptr<void> &dlHandlePtr, bool isStatic);

    /// Becomes one more owner of `_other`'s instance, reusing its
    /// interface pointers.
    void Copy(const Implementation *_other);

    /// Becomes one more owner of `_instance`, computing its interface
    /// pointers from `_info`.
    void Copy(const std::shared_ptr<const Info> &_info,
              const std::shared_ptr<void> &_instance);

    /// The stored address under `interfaceName`, or null.
    template <class Key>
    void *Find(const Key &interfaceName) const
    {
      const auto entry = this->interfacePointers.find(interfaceName);
      return entry == this->interfacePointers.end() ? nullptr : entry->second;
    }

    /// ABI type name of each interface, with its address in `instance`.
    InterfaceMap interfacePointers;

    /// Points at the plugin object and shares its `PluginWithDlHandle`.
    std::shared_ptr<void> instance;

    /// The description the instance was made from.
    std::shared_ptr<const Info> info;

  private:
    /// Lets go of the instance and the description; keys stay, values
    /// become null.
    void Reset();

    /// Stores every interface pointer of `instance` as cast by `info`.
    void ComputeInterfacePointers();
  };

  void Plugin::Implementation::Reset()
  {
    // The record first, as the destructor does: its function objects are
    // code of the library that releasing the last instance may close.
    this->info.reset();
    this->instance.reset();
    for (auto &entry : this->interfacePointers)
      entry.second = nullptr;
  }

  void Plugin::Implementation::ComputeInterfacePointers()
  {
    for (const auto &[name, cast] : this->info->interfaces)
      this->interfacePointers[name] = cast(this->instance.get());
  }

  void Plugin::Implementation::Create(
      const std::shared_ptr<const Info> &info,
      const std::shared_ptr<void> &dlHandlePtr, const bool isStatic)
  {
    // The arguments may be this Plugin's own fields, which Reset clears.
    std::shared_ptr<const Info> newInfo = info;
    std::shared_ptr<void> newDlHandlePtr = dlHandlePtr;
    this->Reset();
    if (!newInfo)
      return;

    this->info = std::move(newInfo);

    if (newDlHandlePtr && isStatic)
    {
      detail::WriteMessage<MessageKind::StaticPluginGivenLibrary>();
    }

    if (!newDlHandlePtr && !isStatic)
    {
      detail::WriteMessage<MessageKind::LibraryHandleMissing>(
          this->info->name);
      return;
    }

    // Owned from the moment it exists: should making its record fail, the
    // deleter destroys it.
    const auto destroy = [&deleter = this->info->deleter](void *object) {
      if (deleter)
        deleter(object);
    };
    std::unique_ptr<void, decltype(destroy)> object(this->info->factory(),
                                                    destroy);
    // Pooled, as instances are often short-lived.
    const auto record = std::allocate_shared<PluginWithDlHandle>(
        detail::PooledAllocator<PluginWithDlHandle>(),
        std::move(newDlHandlePtr), object.get(), this->info->deleter);
    this->instance = std::shared_ptr<void>(record, object.release());

    this->ComputeInterfacePointers();
  }

  void Plugin::Implementation::Copy(const Implementation *_other)
  {
    if (_other == this)
      return;

    this->Reset();
    if (!_other)
    {
      detail::WriteMessage<MessageKind::CopySourceMissing>();
      return;
    }

    this->instance = _other->instance;
    this->info = _other->info;
    if (!this->instance)
      return;

    for (const auto &[name, pointer] : _other->interfacePointers)
      this->interfacePointers[name] = pointer;
  }

  void Plugin::Implementation::Copy(const std::shared_ptr<const Info> &_info,
                                    const std::shared_ptr<void> &_instance)
  {
    // The arguments may be this Plugin's own fields, which Reset clears.
    std::shared_ptr<void> newInstance = _instance;
    std::shared_ptr<const Info> newInfo = _info;
    this->Reset();
    this->instance = std::move(newInstance);
    this->info = std::move(newInfo);
    if (!this->instance)
      return;

    if (!this->info)
    {
      detail::WriteMessage<MessageKind::CopyInfoMissing>();
      return;
    }

    this->ComputeInterfacePointers();
  }

  Plugin::Plugin()
    : dataPtr(new Implementation)
  {
  }

  Plugin::~Plugin() = default;

  bool Plugin::HasInterface(const std::string &interfaceName,
                            const bool demangled) const
  {
    const Implementation &data = *this->dataPtr;
    if (!data.info)
      return false;

    if (demangled)
      return data.info->demangledInterfaces.count(interfaceName) > 0;

    return data.interfacePointers.count(interfaceName) > 0;
  }

  const std::string *Plugin::Name() const
  {
    return this->dataPtr->info ? &this->dataPtr->info->name : nullptr;
  }

  void *Plugin::PrivateQueryInterface(const std::string &interfaceName) const
  {
    return this->dataPtr->Find(interfaceName);
  }

  void *Plugin::PrivateQueryInterface(const char *interfaceName) const
  {
    // Measured once here rather than by every comparison of the search.
    return this->dataPtr->Find(std::string_view(interfaceName));
  }

  void *Plugin::PrivateQueryInterface(std::string_view interfaceName) const
  {
    return this->dataPtr->Find(interfaceName);
  }

  Plugin::InterfaceMap::iterator Plugin::PrivateGetOrCreateIterator(
      const std::string &interfaceName)
  {
    return this->dataPtr->interfacePointers.try_emplace(interfaceName, nullptr)
        .first;
  }

  const std::shared_ptr<void> &Plugin::PrivateGetInstancePtr() const
  {
    return this->dataPtr->instance;
  }

  const std::shared_ptr<const Info> &Plugin::PrivateGetInfoPtr() const
  {
    return this->dataPtr->info;
  }

  void Plugin::PrivateCreatePluginInstance(
      const std::shared_ptr<const Info> &info,
      const std::shared_ptr<void> &dlHandlePtr) const
  {
    this->dataPtr->Create(info, dlHandlePtr, false);
  }

  void Plugin::PrivateCreateStaticPluginInstance(
      const std::shared_ptr<const Info> &info) const
  {
    this->dataPtr->Create(info, nullptr, true);
  }

  void Plugin::PrivateCopyPluginInstance(const Plugin &other) const
  {
    this->dataPtr->Copy(other.dataPtr.get());
  }

  void Plugin::PrivateCopyPluginInstance(
      const std::shared_ptr<const Info> &info,
      const std::shared_ptr<void> &instance) const
  {
    this->dataPtr->Copy(info, instance);
  }
}
