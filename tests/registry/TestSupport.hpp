#ifndef TOVA_TESTS_REGISTRY_TESTSUPPORT_HPP_
#define TOVA_TESTS_REGISTRY_TESTSUPPORT_HPP_

#include <set>
#include <string>
#include <utility>

#include <support/CapturedStderr.hpp>
#include <tova/plugin/Info.hpp>

namespace tova::test
{
  using tova::plugin::Info;
  using Names = std::set<std::string>;

  /// A record whose interfaces cast by identity.
  inline Info MakeRecord(std::string name, Names aliases = {},
                         const Names &interfaceTypes = {},
                         Names demangledInterfaces = {})
  {
    Info info;
    info.name = std::move(name);
    info.aliases = std::move(aliases);
    for (const auto &type : interfaceTypes)
      info.interfaces.emplace(type, [](void *object) { return object; });
    info.demangledInterfaces = std::move(demangledInterfaces);
    return info;
  }

  /// The keys of a record's interface map, ordered.
  inline Names InterfaceTypes(const Info &info)
  {
    Names types;
    for (const auto &entry : info.interfaces)
      types.insert(entry.first);
    return types;
  }
}

#endif
