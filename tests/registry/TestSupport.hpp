#ifndef TOVA_PLUGIN_TESTS_REGISTRY_TESTSUPPORT_HPP_
#define TOVA_PLUGIN_TESTS_REGISTRY_TESTSUPPORT_HPP_

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include <tova/plugin/Info.hpp>

namespace registry_test
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

  /// Everything `action` writes to the standard error stream.
  template <class Action>
  std::string StderrOf(Action &&action)
  {
    testing::internal::CaptureStderr();
    std::forward<Action>(action)();
    return testing::internal::GetCapturedStderr();
  }
}

#endif
