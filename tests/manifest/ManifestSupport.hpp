#ifndef TOVA_TESTS_MANIFEST_MANIFESTSUPPORT_HPP_
#define TOVA_TESTS_MANIFEST_MANIFESTSUPPORT_HPP_

#include <string>
#include <variant>

#include <tova/plugin/Manifest.hpp>

namespace tova::test
{
  /// The manifest of `path`; an empty one, with the error's message as
  /// library metadata under "error", when there is none.
  inline plugin::Manifest ManifestOf(const std::string &path)
  {
    auto read = plugin::ReadManifest(path);
    if (auto *error = std::get_if<plugin::ManifestError>(&read))
      return {{{"error", error->message}}, {}};
    return std::get<plugin::Manifest>(std::move(read));
  }
}

#endif
