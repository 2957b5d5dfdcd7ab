#include "ElfNotes.hpp"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

namespace tova::plugin::detail
{
  ManifestError ManifestFailure(ManifestErrorKind kind,
                                const std::string &path,
                                const std::string &what)
  {
    return {kind, "Cannot read the manifest of [" + path + "]: " + what};
  }

  namespace
  {
    using Kind = ManifestErrorKind;

    // Only the platform's own kind of library can be loaded, and so only
    // its kind carries a manifest worth reading.
    constexpr unsigned char NativeByteOrder =
        __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

    using NotesOrError = std::variant<std::vector<ElfNote>, ManifestError>;

    ManifestError CannotRead(const std::string &path)
    {
      return ManifestFailure(Kind::Unreadable, path, "the file cannot be read");
    }

    /// A file open for reading, closed when it goes.
    class OpenFile
    {
    public:
      explicit OpenFile(const std::string &path)
        // Not blocking: opening a named pipe would wait for a writer.
        : descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
      {
      }
      ~OpenFile()
      {
        if (this->descriptor >= 0)
          close(this->descriptor);
      }
      OpenFile(const OpenFile &) = delete;
      OpenFile &operator=(const OpenFile &) = delete;

      int descriptor;
    };

    /// True when the `size` bytes at `offset` lie within a file of
    /// `fileSize` bytes.
    bool WithinFile(std::uint64_t offset, std::uint64_t size,
                    std::uint64_t fileSize)
    {
      return offset <= fileSize && size <= fileSize - offset;
    }

    /// Reads exactly `size` bytes at `offset`; false on any shortfall.
    bool ReadExactly(int file, void *buffer, std::size_t size,
                     std::uint64_t offset)
    {
      auto *bytes = static_cast<char *>(buffer);
      while (size > 0)
      {
        const ssize_t got =
            pread(file, bytes, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
          continue;
        if (got <= 0)
          return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
      }
      return true;
    }

    std::uint64_t PaddedTo(std::uint64_t size, std::uint64_t alignment)
    {
      return (size + alignment - 1) / alignment * alignment;
    }

    /// Appends the notes of `owner` found in the note section `bytes`,
    /// whose description and next note start at multiples of `alignment`
    /// from the note's start; false when a note runs past the section.
    bool CollectNotes(const std::string &bytes, std::uint64_t alignment,
                      const std::string &owner, std::vector<ElfNote> &notes)
    {
      std::uint64_t at = 0;
      while (bytes.size() - at >= sizeof(Elf64_Nhdr))
      {
        Elf64_Nhdr header;
        std::memcpy(&header, bytes.data() + at, sizeof(header));
        const std::uint64_t description =
            PaddedTo(sizeof(header) + header.n_namesz, alignment);
        const std::uint64_t next =
            PaddedTo(description + header.n_descsz, alignment);
        if (!WithinFile(at, next, bytes.size()))
          return false;
        const std::string_view name(bytes.data() + at + sizeof(header),
                                    header.n_namesz);
        if (name.size() == owner.size() + 1 && name.back() == '\0' &&
            name.substr(0, owner.size()) == owner)
          notes.push_back({header.n_type,
                           bytes.substr(at + description, header.n_descsz)});
        at += next;
      }
      return at == bytes.size();
    }

    /// Checks the class, byte order and section header size of an ELF
    /// header.
    std::optional<ManifestError> CheckIdentification(
        const std::string &path, const Elf64_Ehdr &header)
    {
      if (header.e_ident[EI_CLASS] != ELFCLASS64 ||
          header.e_ident[EI_DATA] != NativeByteOrder)
        return ManifestFailure(Kind::UnsupportedElf, path,
                               "an ELF file of another class or byte order "
                               "than this platform's");
      if (header.e_shnum != 0 && header.e_shentsize != sizeof(Elf64_Shdr))
        return ManifestFailure(Kind::NotElf, path,
                               "not a valid ELF file: unexpected section "
                               "header size");
      return std::nullopt;
    }

    /// Reads the note sections that `sections` lists.
    NotesOrError ReadNoteSections(int file, std::uint64_t fileSize,
                                  const std::vector<Elf64_Shdr> &sections,
                                  const std::string &path,
                                  const std::string &owner)
    {
      std::vector<ElfNote> notes;
      std::uint64_t total = 0;
      for (const Elf64_Shdr &section : sections)
      {
        if (section.sh_type != SHT_NOTE)
          continue;
        if (!WithinFile(section.sh_offset, section.sh_size, fileSize))
          return ManifestFailure(Kind::NotElf, path,
                                 "not a valid ELF file: a note section lies "
                                 "past the end of the file");
        total += section.sh_size;
        if (total > NoteSizeLimit)
          return ManifestFailure(Kind::Malformed, path,
                                 "malformed manifest: the notes exceed 64 MiB");
        std::string bytes(section.sh_size, '\0');
        if (!ReadExactly(file, bytes.data(), bytes.size(), section.sh_offset))
          return CannotRead(path);
        const std::uint64_t alignment = section.sh_addralign == 8 ? 8 : 4;
        if (!CollectNotes(bytes, alignment, owner, notes))
          return ManifestFailure(Kind::Malformed, path,
                                 "malformed manifest: a note runs past the "
                                 "end of its section");
      }
      return notes;
    }

    NotesOrError ReadSections(int file, std::uint64_t fileSize,
                              const std::string &path,
                              const std::string &owner)
    {
      Elf64_Ehdr header{};
      const std::size_t headerSize =
          std::min<std::uint64_t>(fileSize, sizeof(header));
      if (!ReadExactly(file, &header, headerSize, 0))
        return CannotRead(path);
      if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return ManifestFailure(Kind::NotElf, path, "not an ELF file");
      if (headerSize < sizeof(header))
        return ManifestFailure(Kind::NotElf, path,
                               "not a valid ELF file: it is cut short");
      if (auto refused = CheckIdentification(path, header))
        return *refused;

      if (header.e_shnum == 0)
        return std::vector<ElfNote>();
      std::vector<Elf64_Shdr> sections(header.e_shnum);
      const std::uint64_t tableSize = sections.size() * sizeof(Elf64_Shdr);
      if (!WithinFile(header.e_shoff, tableSize, fileSize))
        return ManifestFailure(Kind::NotElf, path,
                               "not a valid ELF file: the section headers "
                               "lie past the end of the file");
      if (!ReadExactly(file, sections.data(), tableSize, header.e_shoff))
        return CannotRead(path);
      return ReadNoteSections(file, fileSize, sections, path, owner);
    }
  }

  NotesOrError ReadElfNotes(const std::string &path, const std::string &owner)
  {
    if (path.find('\0') != std::string::npos)
      return ManifestFailure(Kind::Unreadable, path,
                             "the path contains a null byte");
    const OpenFile file(path);
    if (file.descriptor < 0)
      return ManifestFailure(Kind::Unreadable, path,
                             std::strerror(errno));
    struct stat status;
    if (fstat(file.descriptor, &status) != 0)
      return ManifestFailure(Kind::Unreadable, path,
                             std::strerror(errno));
    if (!S_ISREG(status.st_mode))
      return ManifestFailure(Kind::Unreadable, path, "not a regular file");
    return ReadSections(file.descriptor,
                        static_cast<std::uint64_t>(status.st_size), path,
                        owner);
  }
}
