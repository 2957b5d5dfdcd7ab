#include "CatalogSnapshots.hpp"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tova::plugin
{
  namespace
  {
    /// Closes a descriptor when it goes out of scope.
    class Descriptor
    {
    public:
      explicit Descriptor(int value) : value(value) {}
      Descriptor(const Descriptor &) = delete;
      Descriptor &operator=(const Descriptor &) = delete;
      ~Descriptor()
      {
        if (this->value >= 0)
          close(this->value);
      }
      int Get() const { return this->value; }

    private:
      int value;
    };

    std::string TemporaryRoot()
    {
      const char *root = std::getenv("TMPDIR");
      return root && *root ? root : "/tmp";
    }

    std::string BaseName(const std::string &path)
    {
      const auto slash = path.rfind('/');
      return slash == std::string::npos ? path : path.substr(slash + 1);
    }

    /// Copies all `size` bytes from `from` to `to`; false on any failure.
    bool CopyContents(int from, int to, off_t size)
    {
      off_t offset = 0;
      while (offset < size)
      {
        const ssize_t sent = sendfile(to, from, &offset, size - offset);
        if (sent < 0 && errno == EINTR)
          continue;
        if (sent <= 0)
          return false;
      }
      return true;
    }
  }

  CatalogSnapshots::~CatalogSnapshots()
  {
    if (!this->directory.empty())
      rmdir(this->directory.c_str());
  }

  std::string CatalogSnapshots::Directory(std::string &failure)
  {
    if (!this->directory.empty())
      return this->directory;
    std::string name = TemporaryRoot() + "/tova-catalog-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
    {
      failure = std::string("no private directory for snapshots: ") +
                std::strerror(errno);
      return {};
    }
    this->directory = buffer.data();
    return this->directory;
  }

  std::string CatalogSnapshots::Copy(const std::string &source,
                                     std::string &failure)
  {
    std::string target;
    {
      std::lock_guard<std::mutex> lock(this->mutex);
      const std::string into = this->Directory(failure);
      if (into.empty())
        return {};
      target = into + "/" + std::to_string(++this->copies) + "-" +
               BaseName(source);
    }
    const Descriptor from(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status;
    if (from.Get() < 0 || fstat(from.Get(), &status) != 0)
    {
      failure = std::string("its file cannot be read: ") + std::strerror(errno);
      return {};
    }
    const Descriptor to(open(target.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700));
    if (to.Get() < 0 || !CopyContents(from.Get(), to.Get(), status.st_size))
    {
      failure = "no snapshot of its file could be written";
      unlink(target.c_str());
      return {};
    }
    return target;
  }
}
