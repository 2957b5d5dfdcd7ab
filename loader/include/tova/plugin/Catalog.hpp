#ifndef TOVA_PLUGIN_CATALOG_HPP_
#define TOVA_PLUGIN_CATALOG_HPP_

/// \file
/// A catalog of the plugin libraries in a set of directories: it knows
/// every plugin from the libraries' manifests before loading any, loads a
/// library on the first use of one of its plugins, refuses plugins built
/// against an incompatible version of an interface, and replaces libraries
/// whose files change while the application runs.
///
/// \code
///   tova::plugin::Catalog catalog;
///   catalog.AddSearchPath("/usr/lib/myapp/plugins");
///   catalog.Scan();
///   if (std::shared_ptr<geo::Shape> shape = catalog.Create<geo::Shape>("circle"))
///     shape->Draw();
/// \endcode

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/InterfaceVersion.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Manifest.hpp>
#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/Export.hpp>
#include <tova/plugin/detail/TypeName.hpp>

namespace tova::plugin
{
  namespace detail
  {
  namespace keys TOVA_PLUGIN_HIDDEN
  {
    /// \brief The readable name of `T`, as manifests record interfaces,
    /// demangled once per type.
    template <class T>
    const std::string &ReadableTypeName()
    {
      static const std::string name = DemangleSymbol(TypeName<T>());
      return name;
    }
  }
  }

  /// What a scan found in one file (or search path).
  enum class CatalogFileState
  {
    /// A library with a manifest; its plugins are in the catalog.
    Described,
    /// A readable ELF file without a manifest; left alone.
    WithoutManifest,
    /// A file or directory that cannot be read, or no ELF library.
    Unreadable,
    /// A library without a manifest that the scan loaded to learn its
    /// plugins (`Catalog::Options::loadLibrariesWithoutManifest`).
    LoadedWithoutManifest,
  };

  /// \brief The report of one file that a scan looked at.
  struct CatalogFileReport
  {
    std::string path;
    CatalogFileState state = CatalogFileState::Described;
    /// For a file that is not `Described`: why, as `ReadManifest` says it
    /// (a search path that cannot be read has the kind `Unreadable`), or
    /// why a library without a manifest could not be loaded.
    std::optional<ManifestError> error;
    /// For a `Described` file: its manifest. For one
    /// `LoadedWithoutManifest`: what its hook handed over, without
    /// interface versions.
    std::shared_ptr<const Manifest> manifest;
  };

  /// \brief A plugin name that a library holds while an earlier library
  /// already provides it: the catalog uses `winningLibrary`'s.
  struct ShadowedPlugin
  {
    std::string name;
    std::string library;
    std::string winningLibrary;
  };

  /// \brief What a scan found: one report per file, in search order, and
  /// the plugin names that earlier libraries shadow.
  struct CatalogScanReport
  {
    std::vector<CatalogFileReport> files;
    std::vector<ShadowedPlugin> shadowed;
  };

  /// \brief What `Refresh` found changed since the previous scan, by
  /// library path, each list sorted, and the new scan's report.
  struct CatalogChanges
  {
    std::vector<std::string> added;
    std::vector<std::string> removed;
    /// Another file under the same path: its device, inode, size or
    /// modification time differs.
    std::vector<std::string> replaced;
    CatalogScanReport scan;
  };

  /// \brief Knows the plugins of every library in its search paths from
  /// their manifests, and loads each library on first use.
  ///
  /// Every library is loaded from a private snapshot of its file, so that a
  /// file overwritten while instances of it live does not disturb them,
  /// and every version of a file is a distinct library to the platform.
  /// Instances keep their library loaded, as with a `Loader`, also after
  /// the catalog has forgotten it or is gone.
  ///
  /// Every operation may be called from any number of threads at once.
  class TOVA_PLUGIN_EXPORT Catalog
  {
  public:
    /// How a catalog scans.
    struct Options
    {
      /// Also scan the subdirectories of each search path, at any depth
      /// (directory symlinks are not followed, so no loop is possible).
      bool recursive = false;
      /// Load each library without a manifest to learn its plugins: its
      /// code runs during the scan. Its interfaces count as unversioned.
      bool loadLibrariesWithoutManifest = false;
    };

    Catalog();
    explicit Catalog(const Options &options);
    Catalog(const Catalog &) = delete;
    Catalog &operator=(const Catalog &) = delete;
    /// Lets go of every library; instances keep theirs until they go.
    ~Catalog();

    /// Adds a directory to scan, after those added before (earlier search
    /// paths win when two libraries provide one plugin name).
    void AddSearchPath(const std::string &directory);

    /// Reads the manifests of the libraries (files named `*.so`) in the
    /// search paths and replaces what the catalog knows with them. Never
    /// loads a library. Libraries that were loaded and whose files are
    /// unchanged stay loaded.
    CatalogScanReport Scan();

    /// Scans again and reports what changed. A library removed or replaced
    /// is forgotten: its instances keep working on its old code, and the
    /// next instance of its plugins comes from the new file. Only the file
    /// status of an unchanged library is read, not its manifest.
    CatalogChanges Refresh();

    /// Names of every plugin in the catalog, sorted.
    std::set<std::string> AllPlugins() const;

    /// The plugin that `nameOrAlias` names: a plugin name first, then an
    /// alias that exactly one plugin carries; empty otherwise.
    std::string LookupPlugin(const std::string &nameOrAlias) const;

    /// Plugins that implement the interface with this readable name.
    std::set<std::string> PluginsImplementing(
        const std::string &interfaceName) const;

    /// Plugins that implement `T` in a version compatible with the one
    /// compiled into the caller.
    template <class T>
    std::set<std::string> PluginsImplementing() const
    {
      return this->PrivatePluginsCompatibleWith(detail::keys::ReadableTypeName<T>(),
                                                InterfaceVersionOf<T>());
    }

    /// What the manifest records of the plugin that `nameOrAlias` names.
    std::optional<ManifestPlugin> PluginDescription(
        const std::string &nameOrAlias) const;

    /// The path of the library that provides the plugin, empty if unknown.
    std::string LibraryOfPlugin(const std::string &nameOrAlias) const;

    /// The metadata of the library that provides the plugin.
    std::optional<ManifestMetadata> LibraryMetadata(
        const std::string &nameOrAlias) const;

    /// Whether the library that provides the plugin is loaded.
    bool IsLoaded(const std::string &nameOrAlias) const;

    /// A new instance of the plugin, loading its library on first use; an
    /// empty handle after a message.
    PluginPtr Instantiate(const std::string &nameOrAlias) const;

    /// The plugin's `T`, sharing ownership of a new instance. Empty after a
    /// one-line message when the manifest says that the plugin does not
    /// implement `T` or implements an incompatible version of it; its
    /// library is then not loaded.
    template <class T>
    std::shared_ptr<T> Create(const std::string &nameOrAlias) const
    {
      const std::string *pluginName = nullptr;
      const std::shared_ptr<const Loader> loader = this->PrivateLoaderFor(
          nameOrAlias, detail::keys::ReadableTypeName<T>(),
          InterfaceVersionOf<T>(), pluginName);
      if (!loader)
        return nullptr;
      // The one place where the catalog makes a typed instance.
      return loader->template Create<T>(*pluginName);
    }

    class Implementation;

  private:
    std::set<std::string> PrivatePluginsCompatibleWith(
        const std::string &interfaceName,
        const std::optional<InterfaceVersion> &version) const;
    /// The loader of the plugin's library, loaded now if needed, after
    /// checking the plugin's version of the interface; null after a
    /// message. It shares ownership of the catalog's record of the
    /// library, which keeps `pluginName` valid.
    std::shared_ptr<const Loader> PrivateLoaderFor(
        const std::string &nameOrAlias, const std::string &interfaceName,
        const std::optional<InterfaceVersion> &version,
        const std::string *&pluginName) const;

    std::unique_ptr<Implementation> dataPtr;
  };
}

#endif
