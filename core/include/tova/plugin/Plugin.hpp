#ifndef TOVA_PLUGIN_PLUGIN_HPP_
#define TOVA_PLUGIN_PLUGIN_HPP_

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/detail/Export.hpp>
#include <tova/plugin/detail/PooledAllocator.hpp>
#include <tova/plugin/detail/TypeName.hpp>

namespace tova::plugin
{
  /// \brief One plugin object together with its description and the
  /// addresses of the interfaces it implements.
  ///
  /// Every `Plugin` that shares an instance is one of its owners; the last
  /// owner to let go runs the deleter and only then releases the library.
  /// Operations named `Private...` serve the loader and the handles;
  /// applications reach a `Plugin` through a `PluginPtr` and use the
  /// others.
  class TOVA_PLUGIN_EXPORT Plugin
  {
  public:
    /// Interface ABI type name to its address within the instance.
    using InterfaceMap =
        std::map<std::string, void*, std::less<>,
                 detail::PooledAllocator<std::pair<const std::string, void*>>>;

    /// Makes a `Plugin` that holds no instance.
    Plugin();

    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    /// Drops this owner of the instance (see the class description).
    virtual ~Plugin();

    /// A `Plugin` lives as long as a handle, often briefly: its block comes
    /// from a per-thread cache (see `detail::AllocatePooledBlock`).
    static void *operator new(std::size_t size)
    {
      return detail::AllocatePooledBlock(size);
    }

    static void operator delete(void *block, std::size_t size) noexcept
    {
      detail::ReleasePooledBlock(block, size);
    }

    /// Placement forms stay available beside the pooled ones.
    static void *operator new(std::size_t, void *place) noexcept
    {
      return place;
    }

    static void operator delete(void *, void *) noexcept {}

    /// \brief The address of interface `T` within the instance, or null.
    /// Valid while any owner of the instance lives; not an owner itself.
    ///
    /// Keeping it from a temporary handle leaves it dangling:
    /// `T *t = loader.Instantiate("x")->QueryInterface<T>();` destroys the
    /// instance at the end of the statement. Keep the `PluginPtr` in a
    /// variable, or use `QueryInterfaceSharedPtr`.
    template <class T>
    T *QueryInterface() const
    {
      return static_cast<T *>(
          this->PrivateQueryInterface(detail::keys::TypeKey<T>()));
    }

    /// \brief Interface `T` as a pointer that also owns the instance, so it
    /// alone keeps the instance and its library alive; empty if absent.
    template <class T>
    std::shared_ptr<T> QueryInterfaceSharedPtr() const
    {
      T *const ptr = this->QueryInterface<T>();
      if (!ptr)
        return nullptr;
      return std::shared_ptr<T>(this->PrivateGetInstancePtr(), ptr);
    }

    /// \brief True when the instance is known to implement `T`.
    template <class T>
    bool HasInterface() const
    {
      return this->HasInterface(detail::TypeName<T>(), false);
    }

    /// \brief True when the plugin implements the named interface.
    /// \param[in] interfaceName A readable name if `demangled` is true,
    /// otherwise an ABI type name.
    /// \param[in] demangled Whether `interfaceName` is in readable form.
    bool HasInterface(const std::string &interfaceName,
                      bool demangled = true) const;

    /// \brief The plugin's readable name, or null when no description is
    /// held. The string lives as long as this `Plugin` keeps the description.
    const std::string *Name() const;

    /// \brief The stored address of an interface (by ABI type name), or null.
    void *PrivateQueryInterface(const std::string &interfaceName) const;

    /// \brief As above, without building a string for the key.
    void *PrivateQueryInterface(const char *interfaceName) const;

    /// \brief As above, for a key whose length is already known.
    void *PrivateQueryInterface(std::string_view interfaceName) const;

    /// \brief The entry for `interfaceName`, inserted with a null value if
    /// it is missing.
    InterfaceMap::iterator PrivateGetOrCreateIterator(
        const std::string &interfaceName);

    /// \brief The owning pointer to the instance, for sharing ownership.
    const std::shared_ptr<void> &PrivateGetInstancePtr() const;

    /// \brief The description the instance was made from.
    const std::shared_ptr<const Info> &PrivateGetInfoPtr() const;

    /// \brief Makes a new instance of a plugin from a loaded library.
    void PrivateCreatePluginInstance(
        const std::shared_ptr<const Info> &info,
        const std::shared_ptr<void> &dlHandlePtr) const;

    /// \brief Makes a new instance of a plugin linked into the program.
    void PrivateCreateStaticPluginInstance(
        const std::shared_ptr<const Info> &info) const;

    /// \brief Becomes one more owner of `other`'s instance.
    void PrivateCopyPluginInstance(const Plugin &other) const;

    /// \brief Becomes one more owner of `instance`, described by `info`.
    void PrivateCopyPluginInstance(
        const std::shared_ptr<const Info> &info,
        const std::shared_ptr<void> &instance) const;

    class Implementation;

  private:
    std::unique_ptr<Implementation> dataPtr;
  };
}

#endif
