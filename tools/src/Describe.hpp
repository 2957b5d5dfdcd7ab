#ifndef TOVA_PLUGIN_TOOLS_DESCRIBE_HPP_
#define TOVA_PLUGIN_TOOLS_DESCRIBE_HPP_

#include <ostream>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include <tova/plugin/Manifest.hpp>

namespace tova::plugin::tool
{
  using ReadResult = std::variant<Manifest, ManifestError>;

  /// The short name of an error kind, as JSON reports give it
  /// ("no-manifest").
  std::string ErrorKindName(ManifestErrorKind kind);

  /// "2.1", or "unversioned".
  std::string VersionText(const std::optional<InterfaceVersion> &version);

  /// Writes `manifest` of the library at `path` for a person.
  void PrintManifest(std::ostream &out, const std::string &path,
                     const Manifest &manifest);

  /// The JSON object of one library: its manifest, or its error.
  nlohmann::ordered_json LibraryJson(const std::string &path,
                                     const ReadResult &read);
}

#endif
