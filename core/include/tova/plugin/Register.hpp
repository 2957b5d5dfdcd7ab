#ifndef TOVA_PLUGIN_REGISTER_HPP_
#define TOVA_PLUGIN_REGISTER_HPP_

// The same sources built as a static plugin register in the static registry.
#ifdef TOVA_PLUGIN_STATIC_PLUGIN
#include <tova/plugin/detail/StaticPluginRegister.hpp>
#else

/// \file
/// Registration of plugin classes in a plugin library.
///
/// \code
///   TOVA_PLUGIN_REGISTER(geo::Circle, geo::Shape, geo::Printable);
///   TOVA_PLUGIN_ALIASES(geo::Circle, "circle", "disc");
/// \endcode
///
/// Registrations from every translation unit of a library are gathered in
/// one map, and the library exports one `TovaPluginHook` that hands it to
/// the loader. Include this header only in plugin libraries; programs
/// register their own plugins with RegisterStatic.hpp.

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/detail/Export.hpp>
#include <tova/plugin/detail/Hook.hpp>
#include <tova/plugin/detail/InfoBuilder.hpp>
#include <tova/plugin/detail/ManifestNote.hpp>

namespace tova::plugin::detail
{
  namespace registration TOVA_PLUGIN_HIDDEN
  {
    // Variables of the library rather than function-local statics: each is
    // initialised before the registrations that follow this header in every
    // translation unit, without the thread-safe guard, whose two functions
    // of the C++ runtime the dynamic loader would have to look up each time
    // the library is loaded.

    /// The records of this library; one map per library, filled while the
    /// library starts up.
    inline PluginInfoMap libraryInfoMap;

    /// Aliases given to classes that no registration of this library has
    /// named yet. They join the record when its registration comes, and a
    /// class that never gets one is no plugin: aliases alone make nothing
    /// instantiable.
    inline std::unordered_map<std::string, std::set<std::string>>
        pendingAliases;

    /// True once a registration of this library has failed; the library
    /// then hands over no records at all rather than an incomplete set.
    inline bool registrationFailed = false;

    /// Runs one registration of the library's start-up. No exception may
    /// leave it: it would unwind through `dlopen`, which would keep the
    /// dynamic loader's lock for good, so a failure is recorded instead.
    template <class Registration>
    void RegisterOrRecordFailure(Registration registration) noexcept
    {
      try
      {
        registration();
      }
      catch (...)
      {
        registrationFailed = true;
      }
    }

    /// Adds the record of a registered class, merging it into an earlier
    /// one for the same class and taking the aliases given to it so far.
    inline void AddToLibrary(Info info)
    {
      PluginInfoMap &map = libraryInfoMap;
      const auto found = map.find(info.name);
      if (found != map.end())
      {
        Info &stored = found->second;
        stored.interfaces.insert(info.interfaces.begin(),
                                 info.interfaces.end());
        stored.aliases.insert(info.aliases.begin(), info.aliases.end());
        return;
      }
      auto &pending = pendingAliases;
      const auto waiting = pending.find(info.name);
      if (waiting != pending.end())
        info.aliases.insert(waiting->second.begin(), waiting->second.end());
      // Moved in rather than copied: libraries with many plugins build
      // all their records every time they are loaded. Not try_emplace:
      // its std::piecewise_construct would be a unique symbol in an
      // unoptimised library, and such a library can never be unloaded.
      std::string name = info.name;
      map.emplace(std::move(name), std::move(info));
      if (waiting != pending.end())
        pending.erase(waiting);
    }

    /// Gives `aliases` to the class named `name`, now if it is registered
    /// already, otherwise when its registration comes.
    inline void AddAliasesToLibrary(const std::string &name,
                                    std::initializer_list<const char *> aliases)
    {
      PluginInfoMap &map = libraryInfoMap;
      const auto found = map.find(name);
      if (found != map.end())
      {
        found->second.aliases.insert(aliases.begin(), aliases.end());
        return;
      }
      auto &pending = pendingAliases;
      auto waiting = pending.find(name);
      if (waiting == pending.end())
        waiting = pending.emplace(name, std::set<std::string>()).first;
      waiting->second.insert(aliases.begin(), aliases.end());
    }

    /// Adds the record of `PluginClass` to this library's map when the
    /// library starts up.
    template <class PluginClass, class... Interfaces>
    struct LibraryRegistrar
    {
      LibraryRegistrar()
      {
        RegisterOrRecordFailure(
            [] { AddToLibrary(MakeInfo<PluginClass, Interfaces...>()); });
      }
    };

    /// Adds aliases to the record of `PluginClass` when the library starts
    /// up.
    template <class PluginClass>
    struct LibraryAliasRegistrar
    {
      LibraryAliasRegistrar(std::initializer_list<const char *> aliases)
      {
        CheckPluginClass<PluginClass>();
        RegisterOrRecordFailure([aliases] {
          AddAliasesToLibrary(TypeName<PluginClass>(), aliases);
        });
      }
    };
  }
}

/// \brief The entry point through which the loader reads this library's
/// records: stores the address of the library's `PluginInfoMap` in
/// `*output` (null when a registration failed) and this build's `Info`
/// version, size and alignment in the other three. The map stays the
/// library's; it may be asked any number of times.
// Weak, so that every translation unit may carry it and the library still
// exports exactly one.
extern "C" __attribute__((weak)) TOVA_PLUGIN_EXPORT void TovaPluginHook(
    const void * /*input*/, const void **output, std::int32_t *version,
    std::uint64_t *size, std::uint64_t *alignment)
{
  namespace registration = tova::plugin::detail::registration;
  // Rather no records than an incomplete set: the loader then reports
  // that this library failed to provide them.
  *output = registration::registrationFailed
                ? nullptr
                : &registration::libraryInfoMap;
  *version = tova::plugin::InfoVersion;
  *size = tova::plugin::InfoSize;
  *alignment = tova::plugin::InfoAlignment;
}

/// Registers a plugin class, followed by the interfaces it implements.
#define TOVA_PLUGIN_REGISTER(...)                                       \
  TOVA_PLUGIN_DETAIL_PLUGIN_NOTE(__VA_ARGS__);                          \
  static const ::tova::plugin::detail::registration::LibraryRegistrar< \
      __VA_ARGS__>                                                      \
      TOVA_PLUGIN_DETAIL_UNIQUE(tovaPluginRegistrar)

/// Gives a registered plugin class further names to be looked up by.
#define TOVA_PLUGIN_ALIASES(PluginClass, ...)                                \
  TOVA_PLUGIN_DETAIL_ALIASES_NOTE(PluginClass, __VA_ARGS__);                  \
  static const ::tova::plugin::detail::registration::LibraryAliasRegistrar< \
      PluginClass>                                                           \
      TOVA_PLUGIN_DETAIL_UNIQUE(tovaPluginAliases)({__VA_ARGS__})

#endif // TOVA_PLUGIN_STATIC_PLUGIN

#endif
