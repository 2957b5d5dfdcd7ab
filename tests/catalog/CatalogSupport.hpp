#ifndef TOVA_TESTS_CATALOG_CATALOGSUPPORT_HPP_
#define TOVA_TESTS_CATALOG_CATALOGSUPPORT_HPP_

#include <gtest/gtest.h>

#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tova::test
{
  namespace fs = std::filesystem;

  /// A directory of its own, removed with everything in it at the end.
  class TemporaryDirectory
  {
  public:
    TemporaryDirectory()
    {
      std::string name = (fs::temp_directory_path() / "catalog-test-XXXXXX");
      this->path = mkdtemp(name.data()) ? name : std::string();
    }
    TemporaryDirectory(const TemporaryDirectory &) = delete;
    TemporaryDirectory &operator=(const TemporaryDirectory &) = delete;
    ~TemporaryDirectory()
    {
      std::error_code ignored;
      fs::remove_all(this->path, ignored);
    }
    std::string Path(const std::string &name = "") const
    {
      return name.empty() ? this->path : this->path + "/" + name;
    }

  private:
    std::string path;
  };

  inline std::string ContentsOf(const std::string &path)
  {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  inline void WriteFile(const std::string &path, const std::string &contents)
  {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
  }

  /// Puts a copy of `library` at `path` as a new file (a new inode), the
  /// way a package manager installs one.
  inline void Install(const std::string &library, const std::string &path)
  {
    WriteFile(path + ".new", ContentsOf(library));
    fs::rename(path + ".new", path);
  }

  /// Overwrites the file at `path` in place with `library`'s bytes, as
  /// `cp library path` does.
  inline void OverwriteInPlace(const std::string &library,
                               const std::string &path)
  {
    WriteFile(path, ContentsOf(library));
  }

  /// How many objects the platform's loader has loaded in this process.
  inline int LoadedObjects()
  {
    int count = 0;
    dl_iterate_phdr([](dl_phdr_info *, std::size_t, void *data)
                    { return ++*static_cast<int *>(data), 0; },
                    &count);
    return count;
  }

  /// Points TMPDIR, where catalogs keep their snapshots, at a directory of
  /// the test's, to see that nothing is left there.
  class PrivateTemporaryRoot
  {
  public:
    PrivateTemporaryRoot() { setenv("TMPDIR", this->root.Path().c_str(), 1); }
    ~PrivateTemporaryRoot() { unsetenv("TMPDIR"); }
    /// Whether a catalog's snapshot directory is there.
    bool HoldsSnapshots() const
    {
      for (const auto &entry : fs::directory_iterator(this->root.Path()))
        if (entry.path().filename().string().rfind("tova-catalog-", 0) == 0)
          return true;
      return false;
    }

  private:
    TemporaryDirectory root;
  };
}

#endif
