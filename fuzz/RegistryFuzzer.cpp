// Drives a Registry and the StaticRegistry with random sequences of
// AddInfo, ForgetInfo, LookupPlugin, PluginsWithAlias, PluginsImplementing
// and PrettyStr, and checks what each registry promises after every step:
// the Registry against a model of its records and alias index, the
// StaticRegistry against the rules of merging registrations.

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include <tova/plugin/Registry.hpp>
#include <tova/plugin/StaticRegistry.hpp>

#include "FuzzInput.hpp"

namespace
{
  using tova::fuzz::Check;
  using tova::fuzz::FuzzInput;
  using tova::fuzz::StderrCapture;
  using tova::plugin::Info;
  using tova::plugin::Registry;
  using tova::plugin::StaticRegistry;
  using NameSet = Registry::NameSet;

  /// Few names, so that a sequence meets the same ones again: ABI names
  /// that demangle, and others that are used as given.
  const std::array<std::string, 8> names = {
      "", "a", "b", "ab", "N3geo6CircleE", "N3geo6SquareE",
      std::string("a\0", 2), "3geo"};

  /// Interface keys with their readable forms.
  const std::array<std::pair<std::string, std::string>, 3> interfaces = {{
      {"N3geo5ShapeE", "geo::Shape"},
      {"N3geo4AreaE", "geo::Area"},
      {"x", "x"},
  }};

  void *Identity(void *object)
  {
    return object;
  }

  Info MakeRecord(FuzzInput &input)
  {
    Info info;
    info.name = input.Pick(names);
    for (int count = input.Byte() % 3; count > 0; --count)
      info.aliases.insert(input.Pick(names));
    for (int count = input.Byte() % 3; count > 0; --count)
    {
      const auto &[key, readable] = input.Pick(interfaces);
      info.interfaces[key] = &Identity;
      info.demangledInterfaces.insert(readable);
    }
    return info;
  }

  /// What a Registry must hold: its records, and the plugins that carry
  /// each alias (entries are never removed).
  struct Model
  {
    std::map<std::string, Info> records;
    std::map<std::string, NameSet> aliasIndex;

    bool Add(const Info &info)
    {
      if (!this->records.emplace(info.name, info).second)
        return false;
      for (const std::string &alias : info.aliases)
        this->aliasIndex[alias].insert(info.name);
      return true;
    }

    void Forget(const std::string &name)
    {
      const auto found = this->records.find(name);
      if (found == this->records.end())
        return;
      for (const std::string &alias : found->second.aliases)
        this->aliasIndex[alias].erase(name);
      this->records.erase(found);
    }

    NameSet WithAlias(const std::string &alias) const
    {
      const auto found = this->aliasIndex.find(alias);
      NameSet carriers =
          found == this->aliasIndex.end() ? NameSet{} : found->second;
      if (this->records.count(alias) != 0)
        carriers.insert(alias);
      return carriers;
    }

    /// The name `nameOrAlias` resolves to, and the message it writes.
    std::pair<std::string, std::string> Lookup(
        const std::string &nameOrAlias) const
    {
      if (this->records.count(nameOrAlias) != 0)
        return {nameOrAlias, ""};
      const auto found = this->aliasIndex.find(nameOrAlias);
      if (found == this->aliasIndex.end() || found->second.empty())
        return {"", ""};
      if (found->second.size() == 1)
        return {*found->second.begin(), ""};
      std::string message = "[tova::plugin::Registry::LookupPlugin] Failed "
                            "to resolve the alias [" + nameOrAlias +
                            "] because it refers to multiple plugins:\n";
      for (const std::string &name : found->second)
        message += " -- [" + name + "]\n";
      return {"", message};
    }
  };

  void CheckAgainstModel(const Registry &registry, const Model &model)
  {
    NameSet expected;
    for (const auto &[name, info] : model.records)
    {
      expected.insert(name);
      const auto stored = registry.GetInfo(name);
      Check(stored && stored->name == name, "GetInfo of a listed plugin");
      Check(stored->aliases == info.aliases, "stored aliases");
      Check(registry.AliasesOfPlugin(name) == info.aliases,
            "AliasesOfPlugin");
    }
    Check(registry.AllPlugins() == expected, "AllPlugins");
    for (const auto &entry : model.aliasIndex)
      Check(registry.PluginsWithAlias(entry.first) ==
                model.WithAlias(entry.first),
            "PluginsWithAlias");
  }

  void CheckLookup(const Registry &registry, const Model &model,
                   const std::string &nameOrAlias, StderrCapture &stderrText)
  {
    const std::string resolved = registry.LookupPlugin(nameOrAlias);
    const auto [expected, message] = model.Lookup(nameOrAlias);
    Check(resolved == expected, "LookupPlugin result");
    Check(stderrText.Take() == message, "LookupPlugin message");
  }

  void CheckReport(const Registry &registry)
  {
    const std::string report = registry.PrettyStr();
    const std::string plugins =
        "\tKnown Plugins: " + std::to_string(registry.AllPlugins().size()) +
        "\n";
    Check(report.rfind("Registry state\n\tKnown Interfaces: ", 0) == 0,
          "report header");
    Check(report.find(plugins) != std::string::npos, "report plugin count");
    Check(report.size() >= 2 && report.substr(report.size() - 2) == "\n\n",
          "report ends with an empty line");
  }

  /// After registering `info`, the static registry lists the plugin under
  /// its readable name with every offered alias and interface.
  void CheckStaticRegistration(const StaticRegistry &registry,
                               const Info &info, const std::string &readable)
  {
    const auto stored = registry.GetInfo(readable);
    Check(stored && stored->name == readable, "static record by its name");
    Check(registry.AllPlugins().count(readable) == 1, "static AllPlugins");
    for (const std::string &alias : info.aliases)
    {
      Check(stored->aliases.count(alias) == 1, "static merged alias");
      Check(registry.PluginsWithAlias(alias).count(readable) == 1,
            "static alias index");
    }
    for (const auto &entry : info.interfaces)
      Check(stored->interfaces.count(entry.first) == 1,
            "static merged interface");
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size)
{
  FuzzInput input(data, size);
  StderrCapture stderrText;
  Registry registry;
  Model model;
  StaticRegistry &staticRegistry = StaticRegistry::GetInstance();

  while (!input.Empty())
  {
    const std::string &name = input.Pick(names);
    switch (input.Byte() % 6)
    {
    case 0:
    {
      const Info info = MakeRecord(input);
      Check(registry.AddInfo(info) == model.Add(info), "AddInfo result");
      Check(staticRegistry.AddInfo(info), "static AddInfo result");
      const std::string readable = tova::plugin::DemangleSymbol(info.name);
      CheckStaticRegistration(staticRegistry, info, readable);
      break;
    }
    case 1:
    {
      const NameSet before = staticRegistry.AllPlugins();
      registry.ForgetInfo(name);
      model.Forget(name);
      staticRegistry.ForgetInfo(name);
      Check(staticRegistry.AllPlugins() == before, "static ForgetInfo");
      break;
    }
    case 2:
      CheckLookup(registry, model, name, stderrText);
      staticRegistry.LookupPlugin(name);
      break;
    case 3:
      Check(registry.PluginsWithAlias(name) == model.WithAlias(name),
            "PluginsWithAlias of any name");
      staticRegistry.PluginsWithAlias(name);
      break;
    case 4:
      CheckReport(registry);
      CheckReport(staticRegistry);
      break;
    case 5:
    {
      const auto &[key, readable] = input.Pick(interfaces);
      for (const std::string &plugin :
           registry.PluginsImplementing(readable, true))
        Check(registry.GetInfo(plugin)->demangledInterfaces.count(readable) ==
                  1,
              "PluginsImplementing");
      Check(registry.PluginsImplementing(key, false).size() <=
                registry.AllPlugins().size(),
            "PluginsImplementing by ABI name");
      break;
    }
    }
    stderrText.Take();
    CheckAgainstModel(registry, model);
  }
  return 0;
}
