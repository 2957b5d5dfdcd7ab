#ifndef TOVA_PLUGIN_DETAIL_MANIFESTFORMAT_HPP_
#define TOVA_PLUGIN_DETAIL_MANIFESTFORMAT_HPP_

#include <cstdint>

// What the writer of a library's manifest and its reader agree on; the
// layout is documented in docs/binary-contract.md.
namespace tova::plugin::detail::manifest
{
  /// The owner name of every manifest note.
  constexpr char OwnerName[] = "tova-plugin";

  /// The kinds of manifest notes; the note's type field. Each description is
  /// a sequence of null-terminated strings.
  enum NoteType : std::uint32_t
  {
    /// The format version ("1"); present in every manifest.
    FormatNote = 1,
    /// Plugin name, then interface name and version ("2.1", or empty when
    /// unversioned) for each interface.
    PluginNote = 2,
    /// Plugin name, then its aliases.
    AliasesNote = 3,
    /// Key and value of the library's metadata.
    LibraryMetadataNote = 4,
    /// Plugin name, key and value of the plugin's metadata.
    PluginMetadataNote = 5,
  };
}

#endif
