#include <tova/plugin/Manifest.hpp>

#include <charconv>
#include <string_view>

#include <tova/plugin/detail/ManifestFormat.hpp>

#include "ElfNotes.hpp"

namespace tova::plugin
{
  namespace
  {
    namespace notes = detail::manifest;
    using Fields = std::vector<std::string>;

    /// A plugin while its notes are merged.
    struct PluginEntry
    {
      /// Aliases alone make no plugin, as they make no record.
      bool registered = false;
      std::set<std::string> aliases;
      std::map<std::string, std::optional<InterfaceVersion>> interfaces;
      ManifestMetadata metadata;
    };

    /// Merges the notes of one library, as the loader merges its records;
    /// the first contradiction becomes the malformation reported.
    class ManifestBuilder
    {
    public:
      void Add(const detail::ElfNote &note);
      Manifest Finish();

      /// What is wrong with the notes added so far; empty when nothing is.
      std::string problem;

    private:
      void AddPlugin(const Fields &fields);
      void AddAliases(const Fields &fields);
      void AddMetadata(ManifestMetadata &metadata, const std::string &owner,
                       const std::string &key, const std::string &value);
      void AddPluginMetadata(const Fields &fields);
      void Fail(const std::string &what);

      ManifestMetadata metadata;
      std::map<std::string, PluginEntry> plugins;
      /// Plugin metadata waits until every plugin is known.
      std::vector<Fields> pluginMetadata;
    };

    /// The null-terminated strings of a note's description; none when it
    /// does not end with a null byte.
    std::optional<Fields> SplitFields(const std::string &description)
    {
      if (description.empty() || description.back() != '\0')
        return std::nullopt;
      Fields fields;
      std::size_t start = 0;
      for (std::size_t end = description.find('\0'); end != std::string::npos;
           end = description.find('\0', start))
      {
        fields.push_back(description.substr(start, end - start));
        start = end + 1;
      }
      return fields;
    }

    bool ParseNumber(std::string_view text, std::uint32_t &number)
    {
      const char *const end = text.data() + text.size();
      const auto parsed = std::from_chars(text.data(), end, number);
      return !text.empty() && parsed.ec == std::errc() && parsed.ptr == end;
    }

    /// "major.minor" read into a version; false unless it has that shape.
    bool ParseVersion(const std::string &text, InterfaceVersion &version)
    {
      const std::size_t dot = text.find('.');
      const std::string_view whole(text);
      return dot != std::string::npos &&
             ParseNumber(whole.substr(0, dot), version.major) &&
             ParseNumber(whole.substr(dot + 1), version.minor);
    }

    std::string VersionText(const std::optional<InterfaceVersion> &version)
    {
      if (!version)
        return "none";
      return std::to_string(version->major) + "." +
             std::to_string(version->minor);
    }

    void ManifestBuilder::Fail(const std::string &what)
    {
      if (this->problem.empty())
        this->problem = what;
    }

    void ManifestBuilder::Add(const detail::ElfNote &note)
    {
      const std::optional<Fields> fields = SplitFields(note.description);
      if (!fields)
        return this->Fail("a note does not end with a null byte");
      const std::size_t count = fields->size();
      switch (note.type)
      {
      case notes::FormatNote:
        if (count != 1 || fields->front() != "1")
          this->Fail("the format version is not 1");
        return;
      case notes::PluginNote:
        if (count % 2 == 0)
          return this->Fail("a plugin note has an even number of fields");
        return this->AddPlugin(*fields);
      case notes::AliasesNote:
        return this->AddAliases(*fields);
      case notes::LibraryMetadataNote:
        if (count != 2)
          return this->Fail("a library metadata note has not two fields");
        return this->AddMetadata(this->metadata, "the library", fields->at(0),
                                 fields->at(1));
      case notes::PluginMetadataNote:
        if (count != 3)
          return this->Fail("a plugin metadata note has not three fields");
        this->pluginMetadata.push_back(*fields);
        return;
      default:
        // Kinds of notes that later versions add are left to their readers.
        return;
      }
    }

    void ManifestBuilder::AddPlugin(const Fields &fields)
    {
      if (fields.front().empty())
        return this->Fail("a plugin has an empty name");
      PluginEntry &plugin = this->plugins[fields.front()];
      plugin.registered = true;
      for (std::size_t at = 1; at < fields.size(); at += 2)
      {
        const std::string &name = fields[at];
        std::optional<InterfaceVersion> version;
        if (!fields[at + 1].empty() &&
            !ParseVersion(fields[at + 1], version.emplace()))
          return this->Fail("the version [" + fields[at + 1] +
                            "] of the interface [" + name +
                            "] is not major.minor");
        const auto [known, added] = plugin.interfaces.emplace(name, version);
        if (!added && known->second != version)
          return this->Fail("the plugin [" + fields.front() +
                            "] records the interface [" + name +
                            "] with the versions " +
                            VersionText(known->second) + " and " +
                            VersionText(version));
      }
    }

    void ManifestBuilder::AddAliases(const Fields &fields)
    {
      if (fields.front().empty())
        return this->Fail("a plugin has an empty name");
      PluginEntry &plugin = this->plugins[fields.front()];
      plugin.aliases.insert(fields.begin() + 1, fields.end());
    }

    void ManifestBuilder::AddMetadata(ManifestMetadata &entries,
                                      const std::string &owner,
                                      const std::string &key,
                                      const std::string &value)
    {
      if (key.empty())
        return this->Fail("a metadata key of " + owner + " is empty");
      const auto [known, added] = entries.emplace(key, value);
      // The same entry from a header that several translation units
      // include is one entry; two values for one key are an error.
      if (!added && known->second != value)
        this->Fail("the metadata key [" + key + "] of " + owner +
                   " is given twice");
    }

    void ManifestBuilder::AddPluginMetadata(const Fields &fields)
    {
      const auto plugin = this->plugins.find(fields[0]);
      if (plugin == this->plugins.end() || !plugin->second.registered)
        return this->Fail("metadata is given for the plugin [" + fields[0] +
                          "], which is not registered");
      this->AddMetadata(plugin->second.metadata,
                        "the plugin [" + fields[0] + "]", fields[1],
                        fields[2]);
    }

    Manifest ManifestBuilder::Finish()
    {
      for (const Fields &fields : this->pluginMetadata)
        this->AddPluginMetadata(fields);
      Manifest manifest{std::move(this->metadata), {}};
      for (auto &[name, entry] : this->plugins)
      {
        if (!entry.registered)
          continue;
        ManifestPlugin plugin{name, std::move(entry.aliases), {},
                              std::move(entry.metadata)};
        for (const auto &[interfaceName, version] : entry.interfaces)
          plugin.interfaces.push_back({interfaceName, version});
        manifest.plugins.push_back(std::move(plugin));
      }
      return manifest;
    }
  }

  std::variant<Manifest, ManifestError> ReadManifest(const std::string &path)
  {
    auto read = detail::ReadElfNotes(path, notes::OwnerName);
    if (auto *error = std::get_if<ManifestError>(&read))
      return std::move(*error);
    const auto &found = std::get<std::vector<detail::ElfNote>>(read);
    if (found.empty())
      return detail::ManifestFailure(ManifestErrorKind::NoManifest, path,
                                     "the file has no manifest");

    ManifestBuilder builder;
    for (const detail::ElfNote &note : found)
      builder.Add(note);
    Manifest manifest = builder.Finish();
    if (!builder.problem.empty())
      return detail::ManifestFailure(ManifestErrorKind::Malformed, path,
                                     "malformed manifest: " + builder.problem);
    return manifest;
  }
}
