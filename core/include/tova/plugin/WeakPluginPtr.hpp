#ifndef TOVA_PLUGIN_WEAKPLUGINPTR_HPP_
#define TOVA_PLUGIN_WEAKPLUGINPTR_HPP_

#include <memory>

#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief Observes a plugin instance and its description without keeping
  /// either (or their library) alive.
  class TOVA_PLUGIN_EXPORT WeakPluginPtr
  {
  public:
    /// Observes nothing: expired.
    WeakPluginPtr();

    WeakPluginPtr(const WeakPluginPtr &other);

    /// Takes over `other`'s state; `other` may then only be destroyed or
    /// be the target of a move assignment.
    WeakPluginPtr(WeakPluginPtr &&other) noexcept;

    /// Observes the instance that `plugin` owns.
    WeakPluginPtr(const PluginPtr &plugin);

    WeakPluginPtr &operator=(const WeakPluginPtr &other);

    WeakPluginPtr &operator=(WeakPluginPtr &&other) noexcept;

    WeakPluginPtr &operator=(const PluginPtr &plugin);

    ~WeakPluginPtr();

    /// True when the instance or its description is gone.
    bool IsExpired() const;

    /// An owning handle to the observed instance; empty once it is gone.
    PluginPtr Lock() const;

    class Implementation;

  private:
    std::unique_ptr<Implementation> dataPtr;
  };
}

#endif
