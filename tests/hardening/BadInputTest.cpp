// Hostile input: odd paths, files that are no usable library, a hook that
// throws, records whose functions are missing, and names that match
// nothing. Each is
// answered with its message and an empty result, and the loader goes on.

#include <gtest/gtest.h>

#include <elf.h>
#include <limits.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fixture/Shape.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Registry.hpp>
#include <tova/plugin/StaticRegistry.hpp>

namespace
{
  namespace fs = std::filesystem;
  using tova::plugin::Info;
  using tova::plugin::Loader;
  using tova::plugin::PluginPtr;
  using tova::plugin::Registry;
  using tova::plugin::StaticRegistry;
  using tova::test::IsLoaded;
  using tova::test::OpenError;
  using tova::test::StderrOf;

  const std::string onePlugin = TOVA_FIXTURE_ONE_PLUGIN;
  const std::string twoPlugins = TOVA_FIXTURE_TWO_PLUGINS;

  std::string LoadError(const std::string &path, const std::string &reason)
  {
    return "Error while loading the library [" + path + "]: " + reason + "\n";
  }

  /// The loader answers a good library after a bad one.
  void ExpectUsable(Loader &loader)
  {
    EXPECT_EQ(Loader::PluginNameSet({"fixture::Single"}),
              loader.LoadLib(onePlugin));
    const auto single = loader.Instantiate("fixture::Single");
    ASSERT_FALSE(single.IsEmpty());
    EXPECT_EQ(1.0, single->QueryInterface<fixture::Shape>()->Area());
  }

  /// Files and folders made for one test, removed with it.
  class Scratch
  {
  public:
    explicit Scratch(const std::string &name)
      : root(fs::absolute("tova-hardening-" + name))
    {
      fs::remove_all(this->root);
      fs::create_directories(this->root);
    }

    ~Scratch() { fs::remove_all(this->root); }

    std::string Write(const std::string &name, const std::string &content)
    {
      const fs::path path = this->root / name;
      std::ofstream(path, std::ios::binary) << content;
      return path.string();
    }

    const fs::path root;
  };

  /// The header of a 64-bit shared object for a machine that is not this
  /// one, with nothing after it.
  std::string ForeignElfHeader()
  {
    Elf64_Ehdr header{};
    std::copy(ELFMAG, ELFMAG + SELFMAG, header.e_ident);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_machine = EM_AARCH64;
    header.e_version = EV_CURRENT;
    header.e_ehsize = sizeof(Elf64_Ehdr);
    header.e_phentsize = sizeof(Elf64_Phdr);
    return std::string(reinterpret_cast<const char *>(&header),
                       sizeof(header));
  }

  /// A relative path longer than PATH_MAX, made of legal components.
  std::string OverlongPath()
  {
    std::string path = ".";
    while (path.size() <= PATH_MAX)
      path += "/" + std::string(200, 'x');
    return path + ".so";
  }
}

TEST(BadLibraryPath, IsReportedInThePlatformsWordsAndChangesNothing)
{
  Scratch scratch("bad-path");
  std::vector<std::string> paths = {
      OverlongPath(),
      (scratch.root / "no such dir \xc3\xa9\xff/lib \xe2\x98\x83.so").string(),
      "   ",
      TOVA_HARDENING_NEEDS_MISSING,
      scratch.Write("aarch64.so", ForeignElfHeader()),
#ifdef TOVA_HARDENING_I386
      TOVA_HARDENING_I386,
#endif
  };

  for (const std::string &path : paths)
  {
    SCOPED_TRACE(path.substr(0, 80));
    Loader loader;
    Loader::PluginNameSet names{"sentinel"};
    EXPECT_EQ(LoadError(path, OpenError(path)),
              StderrOf([&] { names = loader.LoadLib(path); }));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(loader.AllPlugins().empty());
    EXPECT_FALSE(IsLoaded(path));
    EXPECT_FALSE(loader.ForgetLibrary(path));
    ExpectUsable(loader);
  }
}

TEST(BadLibraryPath, ANullByteInsideIsRefusedRatherThanCutShort)
{
  // The platform would read the path up to the null byte only, and so
  // open, or forget, a library that the caller did not name.
  const std::string path = onePlugin + std::string(1, '\0') + ".other";
  Loader loader;
  Loader::PluginNameSet names{"sentinel"};
  EXPECT_EQ(LoadError(path, "the path contains a null byte"),
            StderrOf([&] { names = loader.LoadLib(path); }));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(IsLoaded(onePlugin));

  ExpectUsable(loader);
  EXPECT_FALSE(loader.ForgetLibrary(path));
  EXPECT_EQ("fixture::Single", loader.LookupPlugin("fixture::Single"));
}

TEST(OddLibraryPath, BlanksAndNonAsciiBytesNameALibraryLikeAnyOther)
{
  Scratch scratch("odd-path");
  const fs::path folder = scratch.root / "with blanks \xc3\xa9 \xff";
  fs::create_directories(folder);
  const std::string path = (folder / "lib one \xe2\x98\x83.so").string();
  fs::copy_file(onePlugin, path);

  Loader loader;
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Single"}), loader.LoadLib(path));
  PluginPtr single = loader.Instantiate("fixture::Single");
  ASSERT_FALSE(single.IsEmpty());
  EXPECT_EQ(1.0, single->QueryInterface<fixture::Shape>()->Area());
  EXPECT_TRUE(loader.ForgetLibrary(path));
  EXPECT_TRUE(IsLoaded(path));
  EXPECT_FALSE(IsLoaded(onePlugin));
  single = PluginPtr();
  EXPECT_FALSE(IsLoaded(path));
}

TEST(OddLibraryPath, ASymbolicLinkOpensTheFileItPointsTo)
{
  Scratch scratch("symlink");
  const std::string link = (scratch.root / "link.so").string();
  fs::create_symlink(fs::absolute(onePlugin), link);

  Loader loader;
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Single"}), loader.LoadLib(link));
  EXPECT_TRUE(IsLoaded(onePlugin));
  // Through either name it is one library with one handle.
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Single"}),
            loader.LoadLib(onePlugin));
  EXPECT_FALSE(loader.Instantiate("fixture::Single").IsEmpty());
  EXPECT_TRUE(loader.ForgetLibrary(onePlugin));
  EXPECT_FALSE(IsLoaded(onePlugin));
  EXPECT_FALSE(loader.ForgetLibrary(link));
}

TEST(ThrowingHook, TheExceptionLeavesLoadLibAndTheLoaderStaysAsItWas)
{
  const std::string path = TOVA_FIXTURE_THROWING_HOOK;
  Loader loader;
  ASSERT_FALSE(loader.LoadLib(twoPlugins).empty());
  const Loader::NameSet before = loader.AllPlugins();
  EXPECT_EQ("", StderrOf([&] {
              EXPECT_THROW(loader.LoadLib(path), std::runtime_error);
            }));
  EXPECT_EQ(before, loader.AllPlugins());
  EXPECT_FALSE(IsLoaded(path));
  EXPECT_FALSE(loader.ForgetLibrary(path));
  ExpectUsable(loader);
}

TEST(EmptyFunctionInRecord, InstantiateThrowsAndTheLoaderStaysUsable)
{
  const std::string path = TOVA_HARDENING_EMPTY_FUNCTIONS;
  Loader loader;
  EXPECT_EQ(Loader::PluginNameSet({"fixture::Sound", "fixture::NoFactory",
                                   "fixture::EmptyCast"}),
            loader.LoadLib(path));

  for (const char *name : {"fixture::NoFactory", "fixture::EmptyCast"})
  {
    SCOPED_TRACE(name);
    EXPECT_EQ("", StderrOf([&] {
                EXPECT_THROW(loader.Instantiate(name), std::bad_function_call);
                EXPECT_THROW(loader.Create<fixture::Shape>(name),
                             std::bad_function_call);
              }));
    EXPECT_EQ(name, loader.LookupPlugin(name));
  }

  PluginPtr sound = loader.Instantiate("fixture::Sound");
  ASSERT_FALSE(sound.IsEmpty());
  EXPECT_EQ(2.0, sound->QueryInterface<fixture::Shape>()->Area());
  EXPECT_TRUE(loader.ForgetLibrary(path));
  EXPECT_TRUE(IsLoaded(path));
  sound = PluginPtr();
  // An instance half made before its cast function threw kept no library
  // reference behind.
  EXPECT_FALSE(IsLoaded(path));
  ExpectUsable(loader);
}

namespace
{
  /// Names that match nothing: empty, only a null byte, and known names
  /// with a null byte before or after them.
  const std::vector<std::string> unknownNames = {
      "",
      std::string(1, '\0'),
      std::string("circle\0", 7),
      std::string("\0circle", 7),
      std::string("fixture::Circle\0x", 17),
  };

  std::string LookupMessage(const std::string &name)
  {
    return "[tova::plugin::Loader::LookupPlugin] Failed to get info for [" +
           name + "]. Could not find a plugin with that name or alias.\n";
  }
}

TEST(UnknownName, EveryLoaderLookupAnswersEmpty)
{
  Loader loader;
  ASSERT_EQ(2u, loader.LoadLib(twoPlugins).size());
  const std::string report = loader.PrettyStr();

  for (const std::string &name : unknownNames)
  {
    SCOPED_TRACE(testing::PrintToString(name));
    std::string resolved = "sentinel";
    EXPECT_EQ(LookupMessage(name),
              StderrOf([&] { resolved = loader.LookupPlugin(name); }));
    EXPECT_EQ("", resolved);
    bool forgotten = true;
    EXPECT_EQ(LookupMessage(name),
              StderrOf([&] { forgotten = loader.ForgetLibraryOfPlugin(name); }));
    EXPECT_FALSE(forgotten);

    EXPECT_EQ("", StderrOf([&] {
                EXPECT_TRUE(loader.Instantiate(name).IsEmpty());
                EXPECT_TRUE(loader.AliasesOfPlugin(name).empty());
                EXPECT_TRUE(loader.PluginsWithAlias(name).empty());
                EXPECT_TRUE(loader.PluginsImplementing(name, true).empty());
                EXPECT_TRUE(loader.PluginsImplementing(name, false).empty());
                EXPECT_FALSE(loader.ForgetLibrary(name));
              }));
    EXPECT_EQ(report, loader.PrettyStr());
  }
  EXPECT_FALSE(loader.Instantiate("circle").IsEmpty());
}

TEST(UnknownName, EveryRegistryLookupAnswersEmptyAndSilently)
{
  Info circle;
  circle.name = "Circle";
  circle.aliases = {"circle", "round"};
  circle.interfaces["N7fixture5ShapeE"] = [](void *object) { return object; };
  circle.demangledInterfaces = {"fixture::Shape"};
  Registry registry;
  ASSERT_TRUE(registry.AddInfo(circle));
  circle.name = typeid(fixture::Shape).name();
  StaticRegistry &staticRegistry = StaticRegistry::GetInstance();
  ASSERT_TRUE(staticRegistry.AddInfo(circle));

  for (Registry *each : {&registry, static_cast<Registry *>(&staticRegistry)})
  {
    const std::string report = each->PrettyStr();
    for (const std::string &name : unknownNames)
    {
      SCOPED_TRACE(testing::PrintToString(name));
      EXPECT_EQ("", StderrOf([&] {
                  EXPECT_EQ(nullptr, each->GetInfo(name));
                  EXPECT_EQ("", each->LookupPlugin(name));
                  EXPECT_TRUE(each->AliasesOfPlugin(name).empty());
                  EXPECT_TRUE(each->PluginsWithAlias(name).empty());
                  EXPECT_TRUE(each->PluginsImplementing(name, true).empty());
                  EXPECT_TRUE(each->PluginsImplementing(name, false).empty());
                  each->ForgetInfo(name);
                }));
      EXPECT_EQ(report, each->PrettyStr());
    }
    EXPECT_EQ(1u, each->PluginsWithAlias("round").size());
  }
}
