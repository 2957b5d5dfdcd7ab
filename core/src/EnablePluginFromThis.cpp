#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/WeakPluginPtr.hpp>

namespace tova::plugin
{
  class TOVA_PLUGIN_HIDDEN EnablePluginFromThis::Implementation
  {
  public:
    /// Observes the instance this object is part of; expired until wired.
    WeakPluginPtr selfReference;
  };

  EnablePluginFromThis::EnablePluginFromThis()
    : dataPtr(new Implementation)
  {
  }

  EnablePluginFromThis::EnablePluginFromThis(const EnablePluginFromThis &)
    : dataPtr(new Implementation)
  {
  }

  EnablePluginFromThis &EnablePluginFromThis::operator=(
      const EnablePluginFromThis &)
  {
    return *this;
  }

  EnablePluginFromThis::~EnablePluginFromThis() = default;

  PluginPtr EnablePluginFromThis::PluginFromThis()
  {
    return this->dataPtr->selfReference.Lock();
  }

  ConstPluginPtr EnablePluginFromThis::PluginFromThis() const
  {
    const PluginPtr plugin = this->dataPtr->selfReference.Lock();
    return ConstPluginPtr(plugin);
  }

  std::shared_ptr<void> EnablePluginFromThis::PluginInstancePtrFromThis() const
  {
    const PluginPtr plugin = this->dataPtr->selfReference.Lock();
    return plugin->PrivateGetInstancePtr();
  }

  std::shared_ptr<void> EnablePluginFromThis::PrivateInstancePtrFromThis() const
  {
    return this->dataPtr->selfReference.PrivateLockInstance();
  }

  void EnablePluginFromThis::PrivateSetPluginFromThis(const PluginPtr &plugin)
  {
    this->dataPtr->selfReference = plugin;
  }
}
