#ifndef TOVA_PLUGIN_INTERFACEVERSION_HPP_
#define TOVA_PLUGIN_INTERFACEVERSION_HPP_

/// \file
/// Versions of interfaces, declared next to them in the header that an
/// application and its plugins share:
/// \code
///   namespace geo { class Shape { ... }; }
///   TOVA_PLUGIN_INTERFACE_VERSION(geo::Shape, 2, 1);
/// \endcode
/// Every registration records the version of each interface as it was
/// compiled into the plugin, in the library's manifest. This header defines
/// nothing of a plugin library; an interface header may include it freely.

#include <cstdint>
#include <optional>

namespace tova::plugin
{
  /// \brief The version of an interface: a change of `major` breaks its
  /// users, a higher `minor` only adds to it.
  struct InterfaceVersion
  {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
  };

  constexpr bool operator==(const InterfaceVersion &left,
                            const InterfaceVersion &right)
  {
    return left.major == right.major && left.minor == right.minor;
  }

  constexpr bool operator!=(const InterfaceVersion &left,
                            const InterfaceVersion &right)
  {
    return !(left == right);
  }

  namespace detail
  {
    /// Unversioned unless TOVA_PLUGIN_INTERFACE_VERSION specialises it.
    // A function rather than a static data member: such a member would be
    // an inline variable, which a library that reads it at run time would
    // define as a unique symbol, and so never unload.
    template <class Interface>
    struct DeclaredInterfaceVersion
    {
      static constexpr std::optional<InterfaceVersion> Get()
      {
        return std::nullopt;
      }
    };
  }

  /// \brief The version of `Interface` as compiled into the caller, or none
  /// for an interface that declares no version.
  template <class Interface>
  constexpr std::optional<InterfaceVersion> InterfaceVersionOf()
  {
    return detail::DeclaredInterfaceVersion<Interface>::Get();
  }

  /// \brief Whether a plugin built with the interface version `plugin`
  /// serves an application built with `application`: both unversioned, or
  /// the same major version and the plugin's minor at least the
  /// application's.
  constexpr bool InterfaceVersionsCompatible(
      const std::optional<InterfaceVersion> &plugin,
      const std::optional<InterfaceVersion> &application)
  {
    if (!plugin || !application)
      return !plugin && !application;
    return plugin->major == application->major &&
           plugin->minor >= application->minor;
  }
}

/// Declares the version of an interface. Write it once, at global scope,
/// after the interface's declaration, with the interface's qualified name.
#define TOVA_PLUGIN_INTERFACE_VERSION(Interface, Major, Minor)               \
  template <>                                                                \
  struct tova::plugin::detail::DeclaredInterfaceVersion<Interface>           \
  {                                                                          \
    static constexpr std::optional<::tova::plugin::InterfaceVersion> Get()  \
    {                                                                        \
      return ::tova::plugin::InterfaceVersion{Major, Minor};                 \
    }                                                                        \
  }

#endif
