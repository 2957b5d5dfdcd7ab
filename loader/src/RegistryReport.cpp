#include <tova/plugin/Registry.hpp>

#include <cstddef>
#include <ostream>
#include <sstream>

namespace tova::plugin
{
  namespace
  {
    const char *Plural(std::size_t count, const char *one, const char *many)
    {
      return count == 1 ? one : many;
    }

    void WriteInterfaces(std::ostream &out,
                         const Registry::InterfaceSet &interfaceNames)
    {
      out << "\tKnown Interfaces: " << interfaceNames.size() << "\n";
      for (const auto &name : interfaceNames)
        out << "\t\t" << name << "\n";
    }

    void WriteAliases(std::ostream &out, const Info &info)
    {
      const std::size_t count = info.aliases.size();
      if (count == 0)
      {
        out << "\t\t\thas no aliases\n";
        return;
      }
      out << "\t\t\thas " << count << Plural(count, " alias", " aliases")
          << ":\n";
      for (const auto &alias : info.aliases)
        out << "\t\t\t\t[" << alias << "]\n";
    }

    // The count is that of the ABI-named interfaces and the list that of
    // the readable names; a record keeps both, and the report shows both.
    void WriteImplemented(std::ostream &out, const Info &info)
    {
      const std::size_t count = info.interfaces.size();
      out << "\t\t\timplements " << count
          << Plural(count, " interface", " interfaces") << ":\n";
      for (const auto &name : info.demangledInterfaces)
        out << "\t\t\t\t" << name << "\n";
    }

    void WriteCollisions(std::ostream &out,
                         const std::map<std::string, Registry::NameSet> &index)
    {
      std::map<std::string, Registry::NameSet> collisions;
      for (const auto &[alias, names] : index)
        if (names.size() >= 2)
          collisions.emplace(alias, names);
      if (collisions.empty())
        return;

      const std::size_t count = collisions.size();
      out << "\tThere " << Plural(count, "is ", "are ") << count
          << Plural(count, " alias", " aliases") << " with a name collision:\n";
      for (const auto &[alias, names] : collisions)
      {
        out << "\t\t[" << alias << "] collides between:\n";
        for (const auto &name : names)
          out << "\t\t\t[" << name << "]\n";
      }
    }
  }

  std::string Registry::PrettyStr() const
  {
    std::ostringstream out;
    out << "Registry state\n";
    WriteInterfaces(out, InterfacesImplemented());

    const NameSet plugins = AllPlugins();
    out << "\tKnown Plugins: " << plugins.size() << "\n";
    for (const auto &name : plugins)
    {
      const ConstInfoPtr info = GetInfo(name);
      out << "\t\t[" << info->name << "]\n";
      WriteAliases(out, *info);
      WriteImplemented(out, *info);
    }

    WriteCollisions(out, aliasIndex);
    out << "\n";
    return out.str();
  }
}
