#include <utility>

#include <tova/plugin/WeakPluginPtr.hpp>

namespace tova::plugin
{
  class TOVA_PLUGIN_HIDDEN WeakPluginPtr::Implementation
  {
  public:
    /// Observes the plugin instance.
    std::weak_ptr<void> instance;

    /// Observes the description of the instance.
    std::weak_ptr<const Info> info;
  };

  WeakPluginPtr::WeakPluginPtr()
    : dataPtr(new Implementation)
  {
  }

  WeakPluginPtr::WeakPluginPtr(const WeakPluginPtr &other)
    : dataPtr(other.dataPtr ? new Implementation(*other.dataPtr)
                            : new Implementation)
  {
  }

  WeakPluginPtr::WeakPluginPtr(WeakPluginPtr &&other) noexcept = default;

  WeakPluginPtr::WeakPluginPtr(const PluginPtr &plugin)
    : dataPtr(new Implementation)
  {
    *this = plugin;
  }

  WeakPluginPtr &WeakPluginPtr::operator=(const WeakPluginPtr &other)
  {
    if (this == &other)
      return *this;

    // A moved-from handle can be assigned to again.
    if (!this->dataPtr)
      this->dataPtr.reset(new Implementation);

    if (other.dataPtr)
      *this->dataPtr = *other.dataPtr;
    else
      *this->dataPtr = Implementation();
    return *this;
  }

  WeakPluginPtr &WeakPluginPtr::operator=(WeakPluginPtr &&other) noexcept =
      default;

  WeakPluginPtr &WeakPluginPtr::operator=(const PluginPtr &plugin)
  {
    if (!this->dataPtr)
      this->dataPtr.reset(new Implementation);

    // A moved-from owning handle has no Plugin and observes nothing.
    const Plugin *const source = plugin.operator->();
    if (!source)
    {
      *this->dataPtr = Implementation();
      return *this;
    }

    this->dataPtr->instance = source->PrivateGetInstancePtr();
    this->dataPtr->info = source->PrivateGetInfoPtr();
    return *this;
  }

  WeakPluginPtr::~WeakPluginPtr() = default;

  bool WeakPluginPtr::IsExpired() const
  {
    if (!this->dataPtr)
      return true;

    const std::shared_ptr<void> instance = this->dataPtr->instance.lock();
    const std::shared_ptr<const Info> info = this->dataPtr->info.lock();
    return !instance || !info;
  }

  std::shared_ptr<void> WeakPluginPtr::PrivateLockInstance() const
  {
    return this->dataPtr ? this->dataPtr->instance.lock() : nullptr;
  }

  PluginPtr WeakPluginPtr::Lock() const
  {
    PluginPtr plugin;
    if (!this->dataPtr)
      return plugin;

    const std::shared_ptr<void> instance = this->dataPtr->instance.lock();
    const std::shared_ptr<const Info> info = this->dataPtr->info.lock();
    plugin->PrivateCopyPluginInstance(info, instance);
    return plugin;
  }
}
