#ifndef TOVA_PLUGIN_DETAIL_TYPENAME_HPP_
#define TOVA_PLUGIN_DETAIL_TYPENAME_HPP_

#include <typeinfo>

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
}

#endif
