#ifndef TOVA_PLUGIN_ENABLEPLUGINFROMTHIS_HPP_
#define TOVA_PLUGIN_ENABLEPLUGINFROMTHIS_HPP_

#include <memory>

#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief Base of plugin classes that need an owning handle to their own
  /// instance.
  ///
  /// The loader wires the self-reference when it instantiates the plugin.
  /// The reference is weak: a plugin never keeps itself alive, and inside
  /// its constructor and destructor every request yields an empty result.
  class TOVA_PLUGIN_EXPORT EnablePluginFromThis
  {
  public:
    /// An unwired object: every request yields an empty result until the
    /// loader wires it.
    EnablePluginFromThis();

    /// A copy is a new, unwired object: it never shares its source's
    /// self-reference.
    EnablePluginFromThis(const EnablePluginFromThis &other);

    /// Keeps this object's own self-reference.
    EnablePluginFromThis &operator=(const EnablePluginFromThis &other);

    /// Drops the weak self-reference; never affects the instance.
    virtual ~EnablePluginFromThis();

    /// An owning handle to this plugin's instance, empty if unwired or gone.
    PluginPtr PluginFromThis();

    /// A read-only owning handle to this plugin's instance.
    ConstPluginPtr PluginFromThis() const;

    /// One more owner of this plugin's instance, or an empty pointer.
    std::shared_ptr<void> PluginInstancePtrFromThis() const;

    /// One more owner of this plugin's instance, or an empty pointer,
    /// without building a handle: nothing is reported when the description
    /// is gone while the instance lives. For the factory facility.
    std::shared_ptr<void> PrivateInstancePtrFromThis() const;

    /// Wires the self-reference; called by the loader.
    void PrivateSetPluginFromThis(const PluginPtr &plugin);

    class Implementation;

  private:
    std::unique_ptr<Implementation> dataPtr;
  };
}

#endif
