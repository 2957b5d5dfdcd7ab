// ReadManifest on any file: it never crashes, reads no more than the notes'
// limit, and gives either a sorted manifest or one line naming the path.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <variant>

#include <tova/plugin/Manifest.hpp>

#include "FuzzInput.hpp"

namespace
{
  using tova::fuzz::Check;

  void CheckManifest(const tova::plugin::Manifest &manifest)
  {
    for (std::size_t at = 0; at < manifest.plugins.size(); ++at)
    {
      const tova::plugin::ManifestPlugin &plugin = manifest.plugins[at];
      Check(!plugin.name.empty(), "a plugin has a name");
      Check(at == 0 || manifest.plugins[at - 1].name < plugin.name,
            "plugins are sorted by name, each once");
      for (std::size_t index = 1; index < plugin.interfaces.size(); ++index)
        Check(plugin.interfaces[index - 1].name < plugin.interfaces[index].name,
              "interfaces are sorted by name, each once");
    }
  }

  void CheckError(const tova::plugin::ManifestError &error,
                  const std::string &path)
  {
    const std::string prefix = "Cannot read the manifest of [" + path + "]: ";
    Check(error.message.rfind(prefix, 0) == 0, "the message names the path");
    Check(error.message.size() > prefix.size(), "the message says why");
    Check(error.message.find('\n') == std::string::npos,
          "the message is one line");
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size)
{
  const int file = memfd_create("manifest-fuzz", MFD_CLOEXEC);
  Check(file >= 0, "an in-memory file is made");
  Check(write(file, data, size) == static_cast<ssize_t>(size),
        "the input is written");
  const std::string path = "/proc/self/fd/" + std::to_string(file);
  const auto read = tova::plugin::ReadManifest(path);
  close(file);
  if (const auto *manifest = std::get_if<tova::plugin::Manifest>(&read))
    CheckManifest(*manifest);
  else
    CheckError(std::get<tova::plugin::ManifestError>(read), path);
  return 0;
}
