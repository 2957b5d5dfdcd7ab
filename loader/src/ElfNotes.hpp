#ifndef TOVA_PLUGIN_LOADER_SRC_ELFNOTES_HPP_
#define TOVA_PLUGIN_LOADER_SRC_ELFNOTES_HPP_

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include <tova/plugin/Manifest.hpp>

namespace tova::plugin::detail
{
  /// One ELF note of a given owner: its type and description.
  struct ElfNote
  {
    std::uint32_t type;
    std::string description;
  };

  /// The most bytes of note sections that a file may hold; the reader never
  /// allocates more for them.
  constexpr std::uint64_t NoteSizeLimit = 64u << 20;

  /// The error of `kind` whose message names `path` and says `what`.
  ManifestError ManifestFailure(ManifestErrorKind kind,
                                const std::string &path,
                                const std::string &what);

  /// The notes of `owner` in the note sections of the ELF file at `path`,
  /// in file order, or why they cannot be read (kinds other than
  /// NoManifest and Malformed).
  std::variant<std::vector<ElfNote>, ManifestError> ReadElfNotes(
      const std::string &path, const std::string &owner);
}

#endif
