#ifndef TOVA_PLUGIN_DETAIL_MANIFESTNOTE_HPP_
#define TOVA_PLUGIN_DETAIL_MANIFESTNOTE_HPP_

// The manifest of a plugin library: ELF notes that the registration macros
// place in the section ".note.tova.plugin", built entirely at compile time
// so that a reader learns what a library holds without running any of it.
// The layout is documented in docs/binary-contract.md.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/InterfaceVersion.hpp>
#include <tova/plugin/detail/CompileTimeName.hpp>
#include <tova/plugin/detail/InfoBuilder.hpp>
#include <tova/plugin/detail/ManifestFormat.hpp>

namespace tova::plugin::detail::manifest
{
  /// Error reports for the compiler: calling one of these in a registration
  /// stops constant evaluation, and the compiler names the function.
  inline void MetadataKeyMustNotBeEmpty() {}
  inline void ManifestStringMustNotContainANullByte() {}

  constexpr std::size_t PaddedToFour(std::size_t size)
  {
    return (size + 3) / 4 * 4;
  }

  /// One ELF note: the header, the owner name and the description, each
  /// padded to four bytes, so that notes of any number of registrations lie
  /// end to end in the section.
  template <std::size_t DescriptionSize>
  struct alignas(4) Note
  {
    static_assert(DescriptionSize > 0, "A note describes something.");
    std::uint32_t ownerSize;
    std::uint32_t descriptionSize;
    std::uint32_t type;
    Chars<PaddedToFour(sizeof(OwnerName))> owner;
    Chars<PaddedToFour(DescriptionSize)> description;
  };

  template <std::size_t DescriptionSize>
  constexpr Note<DescriptionSize> MakeNote(
      NoteType type, const Chars<DescriptionSize> &description)
  {
    Note<DescriptionSize> note{sizeof(OwnerName), DescriptionSize, type, {},
                               {}};
    for (std::size_t at = 0; at < sizeof(OwnerName); ++at)
      note.owner[at] = OwnerName[at];
    for (std::size_t at = 0; at < DescriptionSize; ++at)
      note.description[at] = description[at];
    return note;
  }

  /// The fields one after the other, each with its terminating null byte.
  template <std::size_t... Sizes>
  constexpr auto Fields(const Chars<Sizes> &...fields)
  {
    Chars<(0 + ... + (Sizes + 1))> joined{};
    std::size_t at = 0;
    const auto append = [&](const auto &field) {
      for (const char c : field)
        joined[at++] = c;
      joined[at++] = '\0';
    };
    (append(fields), ...);
    return joined;
  }

  /// The parts one after the other, as they are.
  template <std::size_t... Sizes>
  constexpr auto Join(const Chars<Sizes> &...parts)
  {
    Chars<(0 + ... + Sizes)> joined{};
    std::size_t at = 0;
    const auto append = [&](const auto &part) {
      for (const char c : part)
        joined[at++] = c;
    };
    (append(parts), ...);
    return joined;
  }

  constexpr std::size_t DigitCount(std::uint32_t number)
  {
    std::size_t count = 1;
    for (; number >= 10; number /= 10)
      ++count;
    return count;
  }

  constexpr void WriteNumber(std::uint32_t number, char *end)
  {
    do
    {
      *--end = static_cast<char>('0' + number % 10);
      number /= 10;
    } while (number != 0);
  }

  /// "major.minor" of `Interface` as compiled here, or nothing.
  template <class Interface>
  constexpr auto VersionText()
  {
    constexpr std::optional<InterfaceVersion> version =
        InterfaceVersionOf<Interface>();
    if constexpr (!version.has_value())
      return Chars<0>{};
    else
    {
      constexpr std::size_t majorSize = DigitCount(version->major);
      Chars<majorSize + 1 + DigitCount(version->minor)> text{};
      WriteNumber(version->major, text.data() + majorSize);
      text[majorSize] = '.';
      WriteNumber(version->minor, text.data() + text.size());
      return text;
    }
  }

  template <class Interface>
  constexpr auto InterfaceFields()
  {
    return Fields(ReadableTypeName<Interface>(), VersionText<Interface>());
  }

  /// The description of a plugin: its name, then its interfaces with their
  /// versions, the self-reference interface included as the record lists it.
  template <class PluginClass, class... Interfaces>
  constexpr auto PluginDescription()
  {
    if constexpr (std::is_base_of_v<EnablePluginFromThis, PluginClass>)
      return Join(Fields(ReadableTypeName<PluginClass>()),
                  InterfaceFields<Interfaces>()...,
                  InterfaceFields<EnablePluginFromThis>());
    else
      return Join(Fields(ReadableTypeName<PluginClass>()),
                  InterfaceFields<Interfaces>()...);
  }

  template <class PluginClass, class... Interfaces>
  constexpr auto MakePluginNote()
  {
    return MakeNote(PluginNote,
                    PluginDescription<PluginClass, Interfaces...>());
  }

  constexpr std::size_t StringSize(const char *text)
  {
    std::size_t size = 0;
    while (text[size] != '\0')
      ++size;
    return size;
  }

  /// The strings that `list` returns, each with its null byte. `list` is a
  /// lambda, so that strings given as plain pointers are still read at
  /// compile time.
  template <class StringList>
  constexpr auto StringFields(StringList list)
  {
    constexpr auto strings = list();
    constexpr std::size_t size = [&] {
      std::size_t total = 0;
      for (const char *text : strings)
        total += StringSize(text) + 1;
      return total;
    }();
    Chars<size> fields{};
    std::size_t at = 0;
    for (const char *text : strings)
    {
      for (std::size_t index = 0; text[index] != '\0'; ++index)
        fields[at++] = text[index];
      fields[at++] = '\0';
    }
    return fields;
  }

  template <class PluginClass, class AliasList>
  constexpr auto MakeAliasesNote(AliasList aliases)
  {
    return MakeNote(AliasesNote, Join(Fields(ReadableTypeName<PluginClass>()),
                                      StringFields(aliases)));
  }

  /// Checks a metadata key and value given as string literals.
  template <std::size_t KeySize, std::size_t ValueSize>
  constexpr bool CheckMetadata(const char (&key)[KeySize],
                               const char (&value)[ValueSize])
  {
    if (StringSize(key) == 0)
      MetadataKeyMustNotBeEmpty();
    if (StringSize(key) + 1 != KeySize || StringSize(value) + 1 != ValueSize)
      ManifestStringMustNotContainANullByte();
    return true;
  }

  template <class Metadata>
  constexpr auto MakeLibraryMetadataNote(Metadata metadata)
  {
    return MakeNote(LibraryMetadataNote, StringFields(metadata));
  }

  template <class PluginClass, class Metadata>
  constexpr auto MakePluginMetadataNote(Metadata metadata)
  {
    return MakeNote(PluginMetadataNote,
                    Join(Fields(ReadableTypeName<PluginClass>()),
                         StringFields(metadata)));
  }

  // Every translation unit that registers plugins marks the library as one
  // with a manifest, so that a library without plugins has an empty one.
  static constexpr auto formatNote
      __attribute__((section(".note.tova.plugin"), used, aligned(4))) =
          MakeNote(FormatNote, Fields(Chars<1>{'1'}));
}

/// Declares a manifest note of the library, named after `prefix`. Aligned
/// to four bytes on purpose: the compiler would align larger objects
/// further, leaving gaps between the notes.
#define TOVA_PLUGIN_DETAIL_MANIFEST_NOTE(prefix)   \
  static constexpr auto TOVA_PLUGIN_DETAIL_UNIQUE(prefix) \
      __attribute__((section(".note.tova.plugin"), used, aligned(4)))

/// The note of TOVA_PLUGIN_REGISTER(PluginClass, Interfaces...).
#define TOVA_PLUGIN_DETAIL_PLUGIN_NOTE(...)     \
  TOVA_PLUGIN_DETAIL_MANIFEST_NOTE(tovaPluginNote) = \
      ::tova::plugin::detail::manifest::MakePluginNote<__VA_ARGS__>()

/// The note of TOVA_PLUGIN_ALIASES(PluginClass, aliases...).
#define TOVA_PLUGIN_DETAIL_ALIASES_NOTE(PluginClass, ...)                    \
  TOVA_PLUGIN_DETAIL_MANIFEST_NOTE(tovaPluginAliasesNote) =                  \
      ::tova::plugin::detail::manifest::MakeAliasesNote<PluginClass>(       \
          [] { return ::std::array{__VA_ARGS__}; })

/// Gives the library a metadata entry, recorded in its manifest:
/// `TOVA_PLUGIN_LIBRARY_METADATA("license", "MIT");`. Documented keys:
/// version, description, license (an SPDX identifier), vendor, url; any
/// other key is allowed. Key and value are string literals.
#define TOVA_PLUGIN_LIBRARY_METADATA(key, value)                          \
  static_assert(::tova::plugin::detail::manifest::CheckMetadata(key, value)); \
  TOVA_PLUGIN_DETAIL_MANIFEST_NOTE(tovaPluginLibraryMetadata) =               \
      ::tova::plugin::detail::manifest::MakeLibraryMetadataNote([] {          \
        return ::std::array<const char *, 2>{key, value};                     \
      })

/// Gives a registered plugin class a metadata entry, recorded in the
/// library's manifest: `TOVA_PLUGIN_METADATA(geo::Circle, "author", "Ada");`.
/// Key and value are string literals.
#define TOVA_PLUGIN_METADATA(PluginClass, key, value)                      \
  static_assert(::tova::plugin::detail::manifest::CheckMetadata(key, value)); \
  TOVA_PLUGIN_DETAIL_MANIFEST_NOTE(tovaPluginMetadata) =                       \
      ::tova::plugin::detail::manifest::MakePluginMetadataNote<PluginClass>(  \
          [] { return ::std::array<const char *, 2>{key, value}; })

#endif
