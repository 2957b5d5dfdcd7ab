#ifndef TOVA_PLUGIN_WEAKPLUGINPTR_HPP_
#define TOVA_PLUGIN_WEAKPLUGINPTR_HPP_

#include <memory>

#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief Observes a plugin instance and its description without keeping
  /// either (or their library) alive.
  ///
  /// `Lock` and `IsExpired` are safe while other threads release the last
  /// owner; one `WeakPluginPtr` object must not be assigned while another
  /// thread uses it.
  class TOVA_PLUGIN_EXPORT WeakPluginPtr
  {
  public:
    /// Observes nothing: expired.
    WeakPluginPtr();

    /// Observes what `other` observes.
    WeakPluginPtr(const WeakPluginPtr &other);

    /// Takes over `other`'s state; `other` may then only be destroyed or
    /// be the target of a move assignment.
    WeakPluginPtr(WeakPluginPtr &&other) noexcept;

    /// Observes the instance that `plugin` owns.
    WeakPluginPtr(const PluginPtr &plugin);

    /// Observes what `other` observes from now on.
    WeakPluginPtr &operator=(const WeakPluginPtr &other);

    /// Takes over `other`'s state, as the move constructor does.
    WeakPluginPtr &operator=(WeakPluginPtr &&other) noexcept;

    /// Observes the instance that `plugin` owns from now on.
    WeakPluginPtr &operator=(const PluginPtr &plugin);

    /// Stops observing; never destroys the instance.
    ~WeakPluginPtr();

    /// True when the instance or its description is gone.
    bool IsExpired() const;

    /// An owning handle to the observed instance; empty once it is gone.
    PluginPtr Lock() const;

    /// One more owner of the observed instance alone, or an empty pointer;
    /// builds no handle and ignores the description.
    std::shared_ptr<void> PrivateLockInstance() const;

    class Implementation;

  private:
    std::unique_ptr<Implementation> dataPtr;
  };
}

#endif
