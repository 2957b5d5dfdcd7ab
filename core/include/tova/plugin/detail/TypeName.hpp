#ifndef TOVA_PLUGIN_DETAIL_TYPENAME_HPP_
#define TOVA_PLUGIN_DETAIL_TYPENAME_HPP_

#include <string_view>
#include <typeinfo>

#include <tova/plugin/detail/Export.hpp>

// Plugins and interfaces are keyed by the names of their type information.
#if defined(__GNUC__) && !defined(__GXX_RTTI)
#error "tova-plugin needs run-time type information: build without -fno-rtti (see docs/binary-contract.md)"
#endif

namespace tova::plugin::detail
{
  /// \brief The ABI type name of `T` as the records key interfaces: the
  /// name of its type information, without the leading '*' that some
  /// platforms put on types with internal linkage.
  template <class T>
  const char *TypeName()
  {
    const char *name = typeid(T).name();
    return *name == '*' ? name + 1 : name;
  }

  // Hidden: a function-local static of a visible inline function becomes
  // one process-wide symbol, which would keep every plugin library that
  // queries an interface from ever unloading.
  namespace keys TOVA_PLUGIN_HIDDEN
  {
    /// \brief `TypeName<T>()` with its length, measured once per type.
    template <class T>
    std::string_view TypeKey()
    {
      static const std::string_view key(TypeName<T>());
      return key;
    }
  }
}

#endif
