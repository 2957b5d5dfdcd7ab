#include "LibraryFile.hpp"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tova::plugin::detail
{
  namespace
  {
    /// The first bytes of a file, read at once: they hold the ELF header
    /// and, as linkers lay libraries out, the program headers as well, so
    /// that checking a library costs one read.
    struct FilePrefix
    {
      unsigned char bytes[1024];
      std::size_t size = 0;
    };

    /// Reads exactly `size` bytes at `offset`, from `prefix` when they lie
    /// within it; false on any shortfall.
    bool ReadAt(int file, const FilePrefix &prefix, void *buffer,
                std::size_t size, std::uint64_t offset)
    {
      if (offset <= prefix.size && size <= prefix.size - offset)
      {
        std::copy_n(prefix.bytes + offset, size,
                    static_cast<unsigned char *>(buffer));
        return true;
      }
      return pread(file, buffer, size, static_cast<off_t>(offset)) ==
             static_cast<ssize_t>(size);
    }

    bool EndsPastTheFile(const Elf64_Phdr &segment, std::uint64_t fileSize)
    {
      const bool mapped =
          segment.p_type == PT_LOAD || segment.p_type == PT_DYNAMIC;
      return mapped && (segment.p_offset > fileSize ||
                        segment.p_filesz > fileSize - segment.p_offset);
    }

    /// True when a 64-bit ELF file describes data past its own end. Files
    /// that are no 64-bit ELF objects are left to the platform's checks.
    bool IsTruncatedElf(int file, std::uint64_t fileSize)
    {
      FilePrefix prefix;
      const ssize_t prefixSize =
          pread(file, prefix.bytes, sizeof(prefix.bytes), 0);
      prefix.size = prefixSize > 0 ? static_cast<std::size_t>(prefixSize) : 0;

      Elf64_Ehdr header;
      if (!ReadAt(file, prefix, &header, sizeof(header), 0) ||
          std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
          header.e_ident[EI_CLASS] != ELFCLASS64 ||
          header.e_phentsize != sizeof(Elf64_Phdr))
        return false;

      std::vector<Elf64_Phdr> segments(header.e_phnum);
      const std::size_t tableSize = segments.size() * sizeof(Elf64_Phdr);
      if (header.e_phoff > fileSize || tableSize > fileSize - header.e_phoff)
        return true;
      if (!ReadAt(file, prefix, segments.data(), tableSize, header.e_phoff))
        return true;

      for (const Elf64_Phdr &segment : segments)
        if (EndsPastTheFile(segment, fileSize))
          return true;
      return false;
    }
  }

  bool HasNullByte(const std::string &path)
  {
    return path.find('\0') != std::string::npos;
  }

  std::string LibraryPathError(const std::string &path)
  {
    if (HasNullByte(path))
      return "the path contains a null byte";
    if (path.find('/') == std::string::npos)
      return {};

    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
      return {};

    struct stat status;
    const bool truncated = fstat(file, &status) == 0 &&
                           S_ISREG(status.st_mode) &&
                           IsTruncatedElf(file, static_cast<std::uint64_t>(
                                                    status.st_size));
    close(file);
    return truncated ? path + ": file too short" : std::string();
  }
}
