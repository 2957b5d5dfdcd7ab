#include "Describe.hpp"

namespace tova::plugin::tool
{
  std::string ErrorKindName(ManifestErrorKind kind)
  {
    switch (kind)
    {
    case ManifestErrorKind::Unreadable:
      return "unreadable";
    case ManifestErrorKind::NotElf:
      return "not-elf";
    case ManifestErrorKind::UnsupportedElf:
      return "unsupported-elf";
    case ManifestErrorKind::NoManifest:
      return "no-manifest";
    case ManifestErrorKind::Malformed:
      return "malformed-manifest";
    }
    return "unknown";
  }

  std::string VersionText(const std::optional<InterfaceVersion> &version)
  {
    if (!version)
      return "unversioned";
    return std::to_string(version->major) + "." +
           std::to_string(version->minor);
  }

  namespace
  {
    void PrintMetadata(std::ostream &out, const ManifestMetadata &metadata,
                       const char *indent)
    {
      for (const auto &[key, value] : metadata)
        out << indent << key << ":" << (value.empty() ? "" : " ") << value
            << "\n";
    }

    using Json = nlohmann::ordered_json;

    Json PluginJson(const ManifestPlugin &plugin)
    {
      Json interfaces = Json::array();
      for (const ManifestInterface &interface : plugin.interfaces)
        interfaces.push_back(
            {{"name", interface.name},
             {"version", interface.version
                             ? Json(VersionText(interface.version))
                             : Json(nullptr)}});
      return {{"name", plugin.name},
              {"aliases", plugin.aliases},
              {"interfaces", std::move(interfaces)},
              {"metadata", plugin.metadata}};
    }
  }

  void PrintManifest(std::ostream &out, const std::string &path,
                     const Manifest &manifest)
  {
    out << path << "\n";
    PrintMetadata(out, manifest.metadata, "  ");
    for (const ManifestPlugin &plugin : manifest.plugins)
    {
      out << "  plugin " << plugin.name << "\n";
      for (const std::string &alias : plugin.aliases)
        out << "    alias " << alias << "\n";
      for (const ManifestInterface &interface : plugin.interfaces)
        out << "    implements " << interface.name << " "
            << VersionText(interface.version) << "\n";
      PrintMetadata(out, plugin.metadata, "    ");
    }
  }

  nlohmann::ordered_json LibraryJson(const std::string &path,
                                     const ReadResult &read)
  {
    if (const auto *error = std::get_if<ManifestError>(&read))
      return {{"path", path},
              {"error",
               {{"kind", ErrorKindName(error->kind)},
                {"message", error->message}}}};
    const Manifest &manifest = std::get<Manifest>(read);
    nlohmann::ordered_json plugins = nlohmann::ordered_json::array();
    for (const ManifestPlugin &plugin : manifest.plugins)
      plugins.push_back(PluginJson(plugin));
    return {{"path", path},
            {"metadata", manifest.metadata},
            {"plugins", std::move(plugins)}};
  }
}
