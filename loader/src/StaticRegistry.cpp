#include <dlfcn.h>
#include <link.h>

#include <tova/plugin/StaticRegistry.hpp>

#include <memory>

namespace tova::plugin
{
  namespace
  {
    /// Keeps the shared library that holds the code at `address` loaded
    /// for the rest of the process. Static records live as long as the
    /// process, and their functions are code of the library that
    /// registered them, which may have been opened at run time.
    void KeepLoadedForGood(const void *address)
    {
      Dl_info symbol{};
      void *owner = nullptr;
      if (!dladdr1(address, &symbol, &owner, RTLD_DL_LINKMAP) || !owner)
        return;
      const char *const name = static_cast<const link_map *>(owner)->l_name;
      // The program itself has no name here, and is never unloaded.
      if (!name || name[0] == '\0')
        return;
      // The reference is never given back; the flag keeps even the
      // library's own closes from unloading it.
      if (!dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE))
        dlerror();
    }
  }

  StaticRegistry &StaticRegistry::GetInstance()
  {
    // A local static is initialised exactly once, even when the first calls
    // race; the owner destroys the registry among the exit-time destructors.
    static const std::unique_ptr<StaticRegistry> instance(new StaticRegistry);
    return *instance;
  }

  StaticRegistry::StaticRegistry() = default;

  StaticRegistry::~StaticRegistry() = default;

  Registry::NameSet StaticRegistry::AllPlugins() const
  {
    NameSet names;
    for (const auto &entry : staticInfos)
      names.insert(entry.first);
    return names;
  }

  Registry::ConstInfoPtr StaticRegistry::GetInfo(
      const std::string &pluginName) const
  {
    // A fresh copy, so that later registrations never change a record that
    // was handed out.
    const auto found = staticInfos.find(pluginName);
    if (found == staticInfos.end())
      return nullptr;
    return std::make_shared<const Info>(found->second);
  }

  bool StaticRegistry::AddInfo(const Info &info)
  {
    // The caller is the registration code, in the library it registers.
    KeepLoadedForGood(__builtin_return_address(0));
    const std::string pluginName = DemangleSymbol(info.name);
    auto [stored, isFirst] = staticInfos.try_emplace(pluginName, info);
    Info &record = stored->second;
    if (isFirst)
      record.name = pluginName;

    // A repeated registration adds what is new to it; the first
    // registration's name, cast functions, factory and deleter stay.
    for (const auto &[interfaceType, cast] : info.interfaces)
    {
      record.interfaces.try_emplace(interfaceType, cast);
      record.demangledInterfaces.insert(DemangleSymbol(interfaceType));
    }
    record.aliases.insert(info.aliases.begin(), info.aliases.end());

    for (const auto &alias : info.aliases)
      aliasIndex[alias].insert(pluginName);
    return true;
  }

  void StaticRegistry::ForgetInfo(const std::string &)
  {
    // Plugins linked into the program stay registered for its lifetime.
  }
}
