#ifndef TOVA_PLUGIN_REGISTERSTATIC_HPP_
#define TOVA_PLUGIN_REGISTERSTATIC_HPP_

/// \file
/// Registration of plugin classes linked into a program (static plugins).
///
/// \code
///   TOVA_PLUGIN_REGISTER_STATIC(app::Logger, app::Sink);
///   TOVA_PLUGIN_ALIASES_STATIC(app::Logger, "logger");
/// \endcode
///
/// The records reach `StaticRegistry::GetInstance()` while the program
/// starts up, and every `Loader` finds them after its own plugins.

#include <initializer_list>

#include <tova/plugin/StaticRegistry.hpp>
#include <tova/plugin/detail/InfoBuilder.hpp>

namespace tova::plugin::detail
{
  namespace registration TOVA_PLUGIN_HIDDEN
  {
    /// Hands the record of `PluginClass` to the static registry while the
    /// program starts up.
    template <class PluginClass, class... Interfaces>
    struct StaticRegistrar
    {
      StaticRegistrar()
      {
        StaticRegistry::GetInstance().AddInfo(
            MakeInfo<PluginClass, Interfaces...>());
      }
    };

    /// Adds aliases to a static plugin while the program starts up.
    template <class PluginClass>
    struct StaticAliasRegistrar
    {
      StaticAliasRegistrar(std::initializer_list<const char *> aliases)
      {
        StaticRegistry::GetInstance().AddInfo(
            MakeAliasInfo<PluginClass>(aliases));
      }
    };
  }
}

/// Registers a plugin class of the program, followed by its interfaces.
#define TOVA_PLUGIN_REGISTER_STATIC(...)                               \
  static const ::tova::plugin::detail::registration::StaticRegistrar< \
      __VA_ARGS__>                                                     \
      TOVA_PLUGIN_DETAIL_UNIQUE(tovaStaticPluginRegistrar)

/// Gives a static plugin class further names to be looked up by.
#define TOVA_PLUGIN_ALIASES_STATIC(PluginClass, ...)                        \
  static const ::tova::plugin::detail::registration::StaticAliasRegistrar< \
      PluginClass>                                                          \
      TOVA_PLUGIN_DETAIL_UNIQUE(tovaStaticPluginAliases)({__VA_ARGS__})

#endif
