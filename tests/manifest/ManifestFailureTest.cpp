#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include <tova/plugin/Manifest.hpp>

namespace
{
  using tova::plugin::ManifestError;
  using tova::plugin::ManifestErrorKind;

  std::string ReadFile(const std::string &path)
  {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  /// A path of this process in the test's temporary directory: every test
  /// process makes the whole table, and ctest runs several at once.
  std::string TemporaryPath(const std::string &name)
  {
    return testing::TempDir() + "manifest-" + std::to_string(getpid()) + "-" +
           name;
  }

  /// A file in the test's temporary directory holding `bytes`.
  std::string WriteTemporary(const std::string &name, const std::string &bytes)
  {
    const std::string path = TemporaryPath(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  /// The three-part library with its first manifest note told to be far
  /// longer than its section.
  std::string WithOverlongNote()
  {
    std::string bytes = ReadFile(MANIFEST_FIXTURE_PARTS);
    const std::string owner("tova-plugin", 12);
    const std::size_t name = bytes.find(owner);
    const std::uint32_t huge = 0x7fffffff;
    std::memcpy(&bytes[name - 8], &huge, sizeof(huge));
    return bytes;
  }

  /// A named pipe, which no reader may wait on.
  std::string MakeFifo()
  {
    const std::string path = TemporaryPath("fifo");
    unlink(path.c_str());
    mkfifo(path.c_str(), 0600);
    return path;
  }

  /// An ELF header that announces no sections.
  std::string WithoutSections(std::string header)
  {
    const Elf64_Half none = 0;
    std::memcpy(&header[offsetof(Elf64_Ehdr, e_shnum)], &none, sizeof(none));
    return header;
  }

  std::string WithClass(unsigned char elfClass)
  {
    std::string bytes = ReadFile(MANIFEST_FIXTURE_PARTS);
    bytes[EI_CLASS] = static_cast<char>(elfClass);
    return bytes;
  }

  struct Failure
  {
    const char *label;
    std::string path;
    ManifestErrorKind kind;
    std::string what;
  };

  void PrintTo(const Failure &failure, std::ostream *out)
  {
    *out << failure.label;
  }

  class ManifestFailure : public testing::TestWithParam<Failure>
  {
  };

  TEST_P(ManifestFailure, GivesItsKindAndAOneLineMessage)
  {
    const Failure &failure = GetParam();
    const auto read = tova::plugin::ReadManifest(failure.path);
    ASSERT_TRUE(std::holds_alternative<ManifestError>(read));
    const ManifestError &error = std::get<ManifestError>(read);
    EXPECT_EQ(error.kind, failure.kind);
    EXPECT_EQ(error.message, "Cannot read the manifest of [" + failure.path +
                                 "]: " + failure.what);
  }

  std::vector<Failure> Failures()
  {
    const std::string library = ReadFile(MANIFEST_FIXTURE_PARTS);
    const std::string header = library.substr(0, sizeof(Elf64_Ehdr));
    return {
        {"Missing", "/nonexistent/libnothing.so", ManifestErrorKind::Unreadable,
         "No such file or directory"},
        {"Directory", "/", ManifestErrorKind::Unreadable,
         "not a regular file"},
        {"NamedPipe", MakeFifo(), ManifestErrorKind::Unreadable,
         "not a regular file"},
        {"NullByte", std::string("/tmp\0/lib.so", 12),
         ManifestErrorKind::Unreadable, "the path contains a null byte"},
        {"Empty", WriteTemporary("empty", ""), ManifestErrorKind::NotElf,
         "not an ELF file"},
        {"Text", WriteTemporary("text", "#!/bin/sh\necho hello\n"),
         ManifestErrorKind::NotElf, "not an ELF file"},
        {"CutInTheHeader", WriteTemporary("cut", library.substr(0, 40)),
         ManifestErrorKind::NotElf, "not a valid ELF file: it is cut short"},
        {"OnlyTheHeader", WriteTemporary("header", header),
         ManifestErrorKind::NotElf,
         "not a valid ELF file: the section headers lie past the end of the "
         "file"},
        {"ThirtyTwoBit", WriteTemporary("elf32", WithClass(ELFCLASS32)),
         ManifestErrorKind::UnsupportedElf,
         "an ELF file of another class or byte order than this platform's"},
        {"NoSections", WriteTemporary("no-sections", WithoutSections(header)),
         ManifestErrorKind::NoManifest, "the file has no manifest"},
        {"HandWrittenHook", TOVA_FIXTURE_BAD_VERSION,
         ManifestErrorKind::NoManifest, "the file has no manifest"},
        {"KeyWithTwoValues", MANIFEST_FIXTURE_TWO_VALUES,
         ManifestErrorKind::Malformed,
         "malformed manifest: the metadata key [license] of the library is "
         "given twice"},
        {"OverlongNote", WriteTemporary("overlong", WithOverlongNote()),
         ManifestErrorKind::Malformed,
         "malformed manifest: a note runs past the end of its section"},
    };
  }

  INSTANTIATE_TEST_SUITE_P(
      Kinds, ManifestFailure, testing::ValuesIn(Failures()),
      [](const auto &info) { return std::string(info.param.label); });
}
