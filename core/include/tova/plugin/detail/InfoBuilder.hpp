#ifndef TOVA_PLUGIN_DETAIL_INFOBUILDER_HPP_
#define TOVA_PLUGIN_DETAIL_INFOBUILDER_HPP_

#include <initializer_list>
#include <string>
#include <type_traits>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Info.hpp>
#include <tova/plugin/detail/Export.hpp>
#include <tova/plugin/detail/TypeName.hpp>

namespace tova::plugin::detail
{
  // Hidden, so that every plugin library keeps its own instantiations and
  // never binds to a same-named class of another library or the program.
  namespace registration TOVA_PLUGIN_HIDDEN
  {
    /// The address of the `Interface` part of a `PluginClass` object.
    template <class PluginClass, class Interface>
    void *CastTo(void *object)
    {
      return static_cast<Interface *>(static_cast<PluginClass *>(object));
    }

    /// A new default-constructed `PluginClass` object.
    template <class PluginClass>
    void *MakeObject()
    {
      return new PluginClass;
    }

    /// Destroys an object that `MakeObject` made.
    template <class PluginClass>
    void DeleteObject(void *object)
    {
      delete static_cast<PluginClass *>(object);
    }

    /// A plain function held in one of the record's `std::function`s.
    ///
    /// Held inside a class of this library rather than as the bare pointer:
    /// `std::function` refers to the run-time type information of what it
    /// holds, and that of a function pointer type is a public symbol, which
    /// the dynamic loader looks up through every loaded library each time
    /// this library is loaded; a hidden class's is resolved at link time.
    template <class Signature>
    struct HeldFunction;

    template <class Result, class... Arguments>
    struct HeldFunction<Result(Arguments...)>
    {
      Result (*function)(Arguments...);

      Result operator()(Arguments... arguments) const
      {
        return function(arguments...);
      }
    };

    // The two functions below hold all of a registration's work that does
    // not depend on the class: one copy of that code serves every
    // registration of the library, which is loaded, and paged in, as a
    // whole.

    /// Lists the interface named `interfaceName` in `info`, with its cast.
    inline void AddCast(Info &info, const char *interfaceName,
                        void *(*cast)(void *))
    {
      info.interfaces.emplace(interfaceName,
                              HeldFunction<void *(void *)>{cast});
    }

    /// A record with the given name, factory and deleter.
    inline Info MakeRecord(const char *name, void *(*factory)(),
                           void (*deleter)(void *))
    {
      Info info;
      // Constructed and moved in: assigning the characters would be one
      // more function of the C++ runtime to look up at start-up.
      info.name = std::string(name);
      info.factory = HeldFunction<void *()>{factory};
      info.deleter = HeldFunction<void(void *)>{deleter};
      return info;
    }

    /// Lists `Interface` in `info` under its ABI type name, with its cast.
    template <class PluginClass, class Interface>
    void AddInterface(Info &info)
    {
      static_assert(std::is_base_of_v<Interface, PluginClass>,
                    "A plugin class is registered with an interface that "
                    "it does not derive from.");
      static_assert(std::is_convertible_v<PluginClass *, Interface *>,
                    "A plugin class is registered with an interface that "
                    "is a private or ambiguous base of it.");
      AddCast(info, TypeName<Interface>(), &CastTo<PluginClass, Interface>);
    }

    /// Stops the build when `PluginClass` cannot be a plugin.
    template <class PluginClass>
    void CheckPluginClass()
    {
      static_assert(std::is_class_v<PluginClass>,
                    "A plugin must be a class type.");
      static_assert(std::is_default_constructible_v<PluginClass>,
                    "A plugin class must be default constructible.");
    }

    /// The name, factory and deleter of a plugin class, without interfaces.
    template <class PluginClass>
    Info MakeBaseInfo()
    {
      CheckPluginClass<PluginClass>();
      return MakeRecord(TypeName<PluginClass>(), &MakeObject<PluginClass>,
                        &DeleteObject<PluginClass>);
    }

    /// The full record of a plugin class with the listed interfaces, and
    /// the self-reference interface when the class derives from it.
    template <class PluginClass, class... Interfaces>
    Info MakeInfo()
    {
      Info info = MakeBaseInfo<PluginClass>();
      (AddInterface<PluginClass, Interfaces>(info), ...);
      if constexpr (std::is_base_of_v<EnablePluginFromThis, PluginClass>)
        AddInterface<PluginClass, EnablePluginFromThis>(info);
      return info;
    }

    /// A record that adds aliases to a plugin class.
    template <class PluginClass>
    Info MakeAliasInfo(std::initializer_list<const char *> aliases)
    {
      Info info = MakeBaseInfo<PluginClass>();
      info.aliases.insert(aliases.begin(), aliases.end());
      return info;
    }
  }
}

/// A name made of `prefix` and a number unique in the translation unit,
/// for the registration objects that the macros declare.
#define TOVA_PLUGIN_DETAIL_CONCAT_(a, b) a##b
#define TOVA_PLUGIN_DETAIL_CONCAT(a, b) TOVA_PLUGIN_DETAIL_CONCAT_(a, b)
#define TOVA_PLUGIN_DETAIL_UNIQUE(prefix) \
  TOVA_PLUGIN_DETAIL_CONCAT(prefix, __COUNTER__)

#endif
