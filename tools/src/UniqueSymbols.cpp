#include "UniqueSymbols.hpp"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace tova::plugin::tool
{
  namespace
  {
    /// The `T` at `offset` of `file`, if it lies within it.
    template <class T>
    bool ReadAt(const std::string &file, std::uint64_t offset, T &value)
    {
      if (offset > file.size() || sizeof(T) > file.size() - offset)
        return false;
      std::memcpy(&value, file.data() + offset, sizeof(T));
      return true;
    }

    /// The null-terminated string at `offset` of the table `strings`.
    std::string StringAt(const std::string &file, const Elf64_Shdr &strings,
                         std::uint64_t offset)
    {
      if (offset >= strings.sh_size || strings.sh_offset > file.size() ||
          strings.sh_size > file.size() - strings.sh_offset)
        return {};
      const char *start = file.data() + strings.sh_offset + offset;
      return std::string(start, strnlen(start, strings.sh_size - offset));
    }

    void CollectUnique(const std::string &file, const Elf64_Ehdr &header,
                       const Elf64_Shdr &symbols,
                       std::vector<std::string> &names)
    {
      Elf64_Shdr strings;
      if (!ReadAt(file, header.e_shoff + symbols.sh_link * sizeof(Elf64_Shdr),
                  strings))
        return;
      const std::uint64_t count = symbols.sh_size / sizeof(Elf64_Sym);
      for (std::uint64_t index = 0; index < count; ++index)
      {
        Elf64_Sym symbol;
        if (!ReadAt(file, symbols.sh_offset + index * sizeof(Elf64_Sym),
                    symbol))
          return;
        if (ELF64_ST_BIND(symbol.st_info) == STB_GNU_UNIQUE &&
            symbol.st_shndx != SHN_UNDEF)
          names.push_back(StringAt(file, strings, symbol.st_name));
      }
    }
  }

  std::vector<std::string> UniqueSymbols(const std::string &path)
  {
    // The library is about to be loaded whole anyway; reading it whole
    // keeps the checks of every offset in one place.
    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::string> names;
    Elf64_Ehdr header;
    if (!ReadAt(file, 0, header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_shentsize != sizeof(Elf64_Shdr))
      return names;
    for (std::uint64_t index = 0; index < header.e_shnum; ++index)
    {
      Elf64_Shdr section;
      if (ReadAt(file, header.e_shoff + index * sizeof(Elf64_Shdr), section) &&
          section.sh_type == SHT_DYNSYM)
        CollectUnique(file, header, section, names);
    }
    return names;
  }
}
