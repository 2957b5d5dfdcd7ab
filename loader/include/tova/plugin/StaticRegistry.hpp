#ifndef TOVA_PLUGIN_STATICREGISTRY_HPP_
#define TOVA_PLUGIN_STATICREGISTRY_HPP_

#include <string>
#include <unordered_map>

#include <tova/plugin/Registry.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief The process-wide registry of plugins linked into the program.
  ///
  /// Records are demangled on arrival and repeated registrations of one
  /// plugin are merged. Static plugins are never forgotten.
  class TOVA_PLUGIN_EXPORT StaticRegistry : public Registry
  {
  public:
    /// The one instance, made on first use (safe from several threads).
    static StaticRegistry &GetInstance();

    /// Runs at process exit (or when the loader library is unloaded).
    ~StaticRegistry() override;

    /// Readable names of all static plugins, in ascending order.
    NameSet AllPlugins() const override;

    /// A fresh copy of the stored record, or null.
    ConstInfoPtr GetInfo(const std::string &pluginName) const override;

    /// Registers or merges `info`, keyed by its readable name; always true.
    bool AddInfo(const Info &info) override;

    /// Has no effect.
    void ForgetInfo(const std::string &pluginName) override;

  private:
    StaticRegistry();

    /// Readable plugin name to its record.
    std::unordered_map<std::string, Info> staticInfos;
  };
}

#endif
