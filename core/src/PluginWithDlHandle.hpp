#ifndef TOVA_PLUGIN_SRC_PLUGINWITHDLHANDLE_HPP_
#define TOVA_PLUGIN_SRC_PLUGINWITHDLHANDLE_HPP_

#include <functional>
#include <memory>

namespace tova::plugin
{
  /// \brief One plugin object together with the library its code lives in.
  ///
  /// Shared by every owner of the instance. The field order matters: the
  /// members are destroyed in reverse, so the copied deleter (code of the
  /// library) goes before the library handle, and releasing the library
  /// handle is the very last step.
  class PluginWithDlHandle
  {
  public:
    PluginWithDlHandle(std::shared_ptr<void> dlHandlePtr, void *instance,
                       std::function<void(void*)> deleter);

    PluginWithDlHandle(const PluginWithDlHandle &) = delete;
    PluginWithDlHandle &operator=(const PluginWithDlHandle &) = delete;

    /// Destroys the plugin object with the deleter.
    ~PluginWithDlHandle();

    /// Keeps the plugin library loaded; empty for a linked-in plugin.
    std::shared_ptr<void> dlHandlePtr;

    /// The address that the factory returned.
    void *instance;

    /// Destroys `instance`; empty if the description had no deleter.
    std::function<void(void*)> deleter;
  };
}

#endif
