#ifndef TOVA_PLUGIN_PLUGINPTR_HPP_
#define TOVA_PLUGIN_PLUGINPTR_HPP_

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include <tova/plugin/Plugin.hpp>

namespace tova::plugin
{
  /// \brief Owning handle to a plugin instance.
  ///
  /// The handle owns one `Plugin` object; copies share the instance, each
  /// with its own `Plugin`. A handle whose `Plugin` holds no instance is
  /// empty; a default-constructed handle is empty, never null.
  ///
  /// Not synchronised: do not assign one handle while another thread uses
  /// it. Distinct handles that share an instance may live on different
  /// threads; whichever drops the last owner runs the deleter.
  template <class PluginType>
  class TemplatePluginPtr
  {
    template <class> friend class TemplatePluginPtr;

  public:
    /// An empty handle.
    TemplatePluginPtr()
      : plugin(new PluginType)
    {
    }

    /// Takes over a `Plugin` made elsewhere (by the loader).
    explicit TemplatePluginPtr(std::unique_ptr<PluginType> newPlugin)
      : plugin(std::move(newPlugin))
    {
    }

    /// One more owner of `other`'s instance.
    TemplatePluginPtr(const TemplatePluginPtr &other)
      : plugin(CopyOf(*other.plugin))
    {
    }

    /// One more owner of `other`'s instance, seen through a handle of a
    /// compatible type (for instance a handle to a constant plugin).
    template <class OtherType,
              class = std::enable_if_t<
                  std::is_convertible_v<OtherType *, PluginType *>>>
    TemplatePluginPtr(const TemplatePluginPtr<OtherType> &other)
      : plugin(CopyOf(*other.plugin))
    {
    }

    /// Takes over `other`'s `Plugin`; `other` may then only be destroyed
    /// or assigned.
    TemplatePluginPtr(TemplatePluginPtr &&other) noexcept = default;

    /// Lets go of the current instance and becomes one more owner of
    /// `other`'s.
    TemplatePluginPtr &operator=(const TemplatePluginPtr &other)
    {
      if (this != &other)
        this->plugin = CopyOf(*other.plugin);
      return *this;
    }

    /// Lets go of the current instance and takes over `other`'s `Plugin`.
    TemplatePluginPtr &operator=(TemplatePluginPtr &&other) noexcept = default;

    /// Drops this owner; the last owner runs the deleter, then releases the
    /// library.
    ~TemplatePluginPtr() = default;

    /// The owned `Plugin` (which may hold no instance); null only in a
    /// moved-from handle.
    PluginType *operator->() const { return this->plugin.get(); }

    /// The owned `Plugin`.
    PluginType &operator*() const { return *this->plugin; }

    /// True when the handle holds no plugin instance.
    bool IsEmpty() const
    {
      return !this->plugin || !this->plugin->PrivateGetInstancePtr();
    }

    /// True when the handle holds an instance.
    explicit operator bool() const { return !this->IsEmpty(); }

    /// Handles are equal when they own the same instance (or none).
    template <class OtherType>
    bool operator==(const TemplatePluginPtr<OtherType> &other) const
    {
      return !this->OwnerBefore(other) && !other.OwnerBefore(*this);
    }

    /// Handles differ when they own different instances.
    template <class OtherType>
    bool operator!=(const TemplatePluginPtr<OtherType> &other) const
    {
      return !(*this == other);
    }

    /// Orders handles by the instance they own, for ordered containers.
    template <class OtherType>
    bool operator<(const TemplatePluginPtr<OtherType> &other) const
    {
      return this->OwnerBefore(other);
    }

    /// The address of the owned instance, the same for every handle that
    /// shares it; a hash key for unordered containers.
    const void *InstanceAddress() const
    {
      return this->plugin ? this->plugin->PrivateGetInstancePtr().get()
                          : nullptr;
    }

  private:
    static std::unique_ptr<PluginType> CopyOf(const Plugin &source)
    {
      auto copy = std::make_unique<PluginType>();
      copy->PrivateCopyPluginInstance(source);
      return copy;
    }

    template <class OtherType>
    bool OwnerBefore(const TemplatePluginPtr<OtherType> &other) const
    {
      return this->Instance().owner_before(other.Instance());
    }

    std::shared_ptr<void> Instance() const
    {
      return this->plugin ? this->plugin->PrivateGetInstancePtr()
                          : std::shared_ptr<void>();
    }

    std::unique_ptr<PluginType> plugin;
  };

  /// The handle that the loader returns.
  using PluginPtr = TemplatePluginPtr<Plugin>;

  /// A handle through which the plugin can only be read.
  using ConstPluginPtr = TemplatePluginPtr<const Plugin>;
}

namespace std
{
  /// Hashes a plugin handle by the instance it owns, consistent with its
  /// `operator==`.
  template <class PluginType>
  struct hash<tova::plugin::TemplatePluginPtr<PluginType>>
  {
    /// The hash of the owned instance's address.
    std::size_t operator()(
        const tova::plugin::TemplatePluginPtr<PluginType> &handle) const
    {
      return std::hash<const void *>()(handle.InstanceAddress());
    }
  };
}

#endif
