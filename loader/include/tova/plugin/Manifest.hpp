#ifndef TOVA_PLUGIN_MANIFEST_HPP_
#define TOVA_PLUGIN_MANIFEST_HPP_

/// \file
/// The manifest of a plugin library, read from the file without loading it.
///
/// \code
///   const auto read = tova::plugin::ReadManifest("./libshapes.so");
///   if (const auto *manifest = std::get_if<tova::plugin::Manifest>(&read))
///     for (const auto &plugin : manifest->plugins)
///       std::cout << plugin.name << "\n";
///   else
///     std::cerr << std::get<tova::plugin::ManifestError>(read).message;
/// \endcode

#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include <tova/plugin/InterfaceVersion.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// Metadata entries by key, sorted by key.
  using ManifestMetadata = std::map<std::string, std::string>;

  /// \brief An interface that a plugin implements, with its version as
  /// compiled into the plugin (none when the interface declares none).
  struct ManifestInterface
  {
    std::string name;
    std::optional<InterfaceVersion> version;
  };

  /// \brief What the manifest records of one plugin.
  struct ManifestPlugin
  {
    /// The readable class name, as the loader reports it.
    std::string name;
    std::set<std::string> aliases;
    /// Sorted by name.
    std::vector<ManifestInterface> interfaces;
    ManifestMetadata metadata;
  };

  /// \brief What a plugin library holds, as its manifest records it.
  struct Manifest
  {
    ManifestMetadata metadata;
    /// Sorted by name.
    std::vector<ManifestPlugin> plugins;
  };

  /// Why a file has no readable manifest.
  enum class ManifestErrorKind
  {
    /// The file is missing, not a regular file, or cannot be read.
    Unreadable,
    /// The file is no ELF file, or its ELF structure is broken.
    NotElf,
    /// An ELF file of a class or byte order that the reader does not read.
    UnsupportedElf,
    /// A readable ELF file without a manifest.
    NoManifest,
    /// A manifest that breaks its format or contradicts itself.
    Malformed,
  };

  /// \brief The reason a file has no readable manifest: its kind, and one
  /// line (without line end) that names the path and what is wrong.
  struct ManifestError
  {
    ManifestErrorKind kind;
    std::string message;
  };

  /// \brief The manifest of the library at `path`, or why there is none.
  ///
  /// Reads the file with a few bounded reads and never loads it: none of
  /// the library's code runs. Every offset and size in the file is checked
  /// against the file's size, and the notes read are limited in size.
  TOVA_PLUGIN_EXPORT std::variant<Manifest, ManifestError> ReadManifest(
      const std::string &path);
}

#endif
