#ifndef TOVA_PLUGIN_LOADER_SRC_CATALOGSNAPSHOTS_HPP_
#define TOVA_PLUGIN_LOADER_SRC_CATALOGSNAPSHOTS_HPP_

#include <cstdint>
#include <mutex>
#include <string>

#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief A private directory, made on first use, that holds copies of
  /// library files while they are being loaded.
  ///
  /// Every copy gets a name never used before in the process, so that the
  /// platform's loader, which recognises an open library by its path, sees
  /// a new library for every copy.
  class TOVA_PLUGIN_HIDDEN CatalogSnapshots
  {
  public:
    CatalogSnapshots() = default;
    CatalogSnapshots(const CatalogSnapshots &) = delete;
    CatalogSnapshots &operator=(const CatalogSnapshots &) = delete;
    /// Removes the directory; every copy has been removed before.
    ~CatalogSnapshots();

    /// Copies the file at `source` into the directory and returns the
    /// copy's path; an empty path and `failure` set when that fails.
    std::string Copy(const std::string &source, std::string &failure);

  private:
    /// The directory, made now if needed; empty after setting `failure`.
    std::string Directory(std::string &failure);

    std::mutex mutex;
    std::string directory;
    std::uint64_t copies = 0;
  };
}

#endif
