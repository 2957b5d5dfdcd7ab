// What a catalog knows from manifests alone, and how it loads, refuses and
// checks plugins.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <catalog_fixture/Greeter.hpp>
#include <support/CapturedStderr.hpp>
#include <tova/plugin/Catalog.hpp>
#include <tova/plugin/Plugin.hpp>

#include "CatalogSupport.hpp"

namespace tova::test
{
  namespace
  {
    using plugin::Catalog;
    using plugin::CatalogFileState;
    using plugin::ManifestErrorKind;

    const std::string hello = "catalog_fixture::Hello";

    /// A file's report in a comparable form.
    std::string Described(const plugin::CatalogFileReport &report)
    {
      static const char *states[] = {"described", "without manifest",
                                     "unreadable", "loaded without manifest"};
      std::string text = report.path + ": " +
                         states[static_cast<int>(report.state)];
      if (report.error)
        text += " (" + std::to_string(static_cast<int>(report.error->kind)) +
                ") " + report.error->message;
      return text;
    }

    std::vector<std::string> DescribedFiles(
        const plugin::CatalogScanReport &report)
    {
      std::vector<std::string> lines;
      for (const auto &file : report.files)
        lines.push_back(Described(file));
      return lines;
    }

    class CatalogTest : public testing::Test
    {
    protected:
      /// A catalog of the directory, scanned.
      std::unique_ptr<Catalog> ScannedCatalog()
      {
        auto catalog = std::make_unique<Catalog>();
        catalog->AddSearchPath(this->directory.Path());
        catalog->Scan();
        return catalog;
      }

      TemporaryDirectory directory;
    };
  }

  TEST_F(CatalogTest, ScanReportsEveryFileAndLoadsNothing)
  {
    const std::string dir = this->directory.Path();
    Install(TOVA_CATALOG_GREETER_1, dir + "/greeter.so");
    Install(TOVA_FIXTURE_BAD_VERSION, dir + "/bare.so");
    WriteFile(dir + "/garbage.so", "not a library at all");
    WriteFile(dir + "/cut.so", ContentsOf(TOVA_CATALOG_GREETER_2).substr(0, 100));
    fs::create_symlink("loop.so", dir + "/loop.so");
    fs::create_symlink("greeter.so", dir + "/link.so");
    WriteFile(dir + "/notes.txt", "not a library name");
    fs::create_directory(dir + "/sub");
    Install(TOVA_CATALOG_GREETER_2, dir + "/sub/deeper.so");

    const int loadedBefore = LoadedObjects();
    Catalog catalog;
    catalog.AddSearchPath(dir);
    const auto report = catalog.Scan();
    EXPECT_EQ(loadedBefore, LoadedObjects());
    EXPECT_FALSE(catalog.IsLoaded(hello));

    const std::string cannot = "Cannot read the manifest of [" + dir;
    EXPECT_EQ(
        (std::vector<std::string>{
            dir + "/bare.so: without manifest (3) " + cannot +
                "/bare.so]: the file has no manifest",
            dir + "/cut.so: unreadable (1) " + cannot +
                "/cut.so]: not a valid ELF file: the section headers lie past the end of the file",
            dir + "/garbage.so: unreadable (1) " + cannot +
                "/garbage.so]: not an ELF file",
            dir + "/greeter.so: described",
            dir + "/link.so: described",
            dir + "/loop.so: unreadable (0) " + cannot +
                "/loop.so]: Too many levels of symbolic links",
        }),
        DescribedFiles(report));
    // The symlink and its target hold the same plugin: the link is later
    // in byte order.
    ASSERT_EQ(1u, report.shadowed.size());
    EXPECT_EQ(hello, report.shadowed[0].name);
    EXPECT_EQ(dir + "/link.so", report.shadowed[0].library);
    EXPECT_EQ(dir + "/greeter.so", report.shadowed[0].winningLibrary);
  }

  TEST_F(CatalogTest, TheRecursiveOptionScansSubdirectories)
  {
    const std::string dir = this->directory.Path();
    fs::create_directories(dir + "/a/b");
    Install(TOVA_CATALOG_GREETER_2, dir + "/a/b/deep.so");
    fs::create_directory_symlink(dir + "/a", dir + "/a/b/up");

    Catalog::Options options;
    options.recursive = true;
    Catalog catalog(options);
    catalog.AddSearchPath(dir);
    EXPECT_EQ(std::vector<std::string>{dir + "/a/b/deep.so: described"},
              DescribedFiles(catalog.Scan()));
    EXPECT_EQ(dir + "/a/b/deep.so", catalog.LibraryOfPlugin("hello"));
  }

  TEST_F(CatalogTest, LibrariesWithoutManifestAreLoadedOnlyWhenAsked)
  {
    const std::string path = this->directory.Path("bare.so");
    Install(TOVA_CATALOG_HAND_HOOK, path);
    const std::string described =
        path + ": loaded without manifest (3) Cannot read the manifest of [" +
        path + "]: the file has no manifest";

    const int loadedBefore = LoadedObjects();
    EXPECT_TRUE(this->ScannedCatalog()->AllPlugins().empty());
    EXPECT_EQ(loadedBefore, LoadedObjects());

    Catalog::Options options;
    options.loadLibrariesWithoutManifest = true;
    Catalog catalog(options);
    catalog.AddSearchPath(this->directory.Path());
    EXPECT_EQ(std::vector<std::string>{described},
              DescribedFiles(catalog.Scan()));
    EXPECT_TRUE(catalog.IsLoaded("bare"));
    // Unchanged, it is neither loaded again nor described otherwise.
    EXPECT_EQ(std::vector<std::string>{described},
              DescribedFiles(catalog.Refresh().scan));
    const auto description = catalog.PluginDescription("bare");
    ASSERT_TRUE(description);
    ASSERT_EQ(1u, description->interfaces.size());
    EXPECT_FALSE(description->interfaces[0].version);
    // Its versions are unknown: a versioned interface refuses it.
    EXPECT_FALSE(StderrOf([&]
                          { EXPECT_FALSE(catalog.Create<catalog_fixture::Greeter>(
                                "bare")); })
                     .empty());
    const plugin::PluginPtr bare = catalog.Instantiate("bare");
    ASSERT_TRUE(bare);
    EXPECT_EQ(7, bare->QueryInterface<catalog_fixture::Greeter>()->Build());
  }

  TEST_F(CatalogTest, ASearchPathThatCannotBeReadIsReported)
  {
    const std::string missing = this->directory.Path("missing");
    Catalog catalog;
    catalog.AddSearchPath(missing);
    EXPECT_EQ(std::vector<std::string>{missing +
                                       ": unreadable (0) Cannot read the "
                                       "directory [" +
                                       missing +
                                       "]: No such file or directory"},
              DescribedFiles(catalog.Scan()));
    EXPECT_TRUE(catalog.AllPlugins().empty());
  }

  TEST_F(CatalogTest, QueriesAreAnsweredFromManifests)
  {
    const std::string dir = this->directory.Path();
    Install(TOVA_CATALOG_GREETER_1, dir + "/a.so");
    Install(TOVA_CATALOG_LYING, dir + "/lying.so");
    const auto catalog = this->ScannedCatalog();

    EXPECT_EQ((std::set<std::string>{"catalog_fixture::Counted<3>", hello}),
              catalog->AllPlugins());
    EXPECT_EQ(hello, catalog->LookupPlugin("hello"));
    EXPECT_EQ("", catalog->LookupPlugin("nobody"));
    EXPECT_EQ(dir + "/a.so", catalog->LibraryOfPlugin("hello"));
    EXPECT_EQ((plugin::ManifestMetadata{{"build", "1"}}),
              catalog->LibraryMetadata(hello));
    const auto description = catalog->PluginDescription("hello");
    ASSERT_TRUE(description);
    EXPECT_EQ(std::set<std::string>{"hello"}, description->aliases);
    EXPECT_EQ((std::set<std::string>{"catalog_fixture::Counted<3>", hello}),
              catalog->PluginsImplementing("catalog_fixture::Greeter"));
    EXPECT_EQ((std::set<std::string>{"catalog_fixture::Counted<3>", hello}),
              catalog->PluginsImplementing<catalog_fixture::Greeter>());
    EXPECT_TRUE(catalog->PluginsImplementing<catalog_fixture::Unused>().empty());
    EXPECT_FALSE(catalog->IsLoaded(hello));
  }

  TEST_F(CatalogTest, TypedQueriesKeepOnlyCompatibleVersions)
  {
    const std::string dir = this->directory.Path();
    Install(TOVA_CATALOG_GREETER_MINOR_BEHIND, this->directory.Path("behind.so"));
    fs::create_directory(dir + "/second");
    Install(TOVA_CATALOG_GREETER_1, dir + "/second/current.so");
    Catalog catalog;
    catalog.AddSearchPath(dir + "/second");
    catalog.Scan();
    EXPECT_EQ(std::set<std::string>{hello},
              catalog.PluginsImplementing<catalog_fixture::Greeter>());

    Catalog older;
    older.AddSearchPath(dir);
    older.Scan();
    EXPECT_EQ(std::set<std::string>{hello},
              older.PluginsImplementing("catalog_fixture::Greeter"));
    EXPECT_TRUE(older.PluginsImplementing<catalog_fixture::Greeter>().empty());
  }

  TEST_F(CatalogTest, EarlierSearchPathsThenByteOrderWin)
  {
    TemporaryDirectory first;
    Install(TOVA_CATALOG_GREETER_2, first.Path("z.so"));
    Install(TOVA_CATALOG_GREETER_1, this->directory.Path("B.so"));
    Install(TOVA_CATALOG_GREETER_3, this->directory.Path("a.so"));
    Catalog catalog;
    catalog.AddSearchPath(first.Path());
    catalog.AddSearchPath(this->directory.Path());
    const auto report = catalog.Scan();

    ASSERT_EQ(2u, report.shadowed.size());
    EXPECT_EQ(this->directory.Path("B.so"), report.shadowed[0].library);
    EXPECT_EQ(this->directory.Path("a.so"), report.shadowed[1].library);
    EXPECT_EQ(first.Path("z.so"), report.shadowed[1].winningLibrary);
    const auto greeter = catalog.Create<catalog_fixture::Greeter>("hello");
    ASSERT_TRUE(greeter);
    EXPECT_EQ(2, greeter->Build());
  }

  TEST_F(CatalogTest, CreateAndInstantiateLoadOnFirstUse)
  {
    Install(TOVA_CATALOG_GREETER_1, this->directory.Path("greeter.so"));
    const auto catalog = this->ScannedCatalog();
    const auto greeter = catalog->Create<catalog_fixture::Greeter>("hello");
    ASSERT_TRUE(greeter);
    EXPECT_EQ(1, greeter->Build());
    EXPECT_TRUE(catalog->IsLoaded(hello));

    const plugin::PluginPtr instance = catalog->Instantiate(hello);
    ASSERT_TRUE(instance);
    EXPECT_EQ(hello, *instance->Name());
  }

  TEST_F(CatalogTest, ARefusedVersionLoadsNothing)
  {
    Install(TOVA_CATALOG_GREETER_MINOR_BEHIND, this->directory.Path("a.so"));
    const auto catalog = this->ScannedCatalog();
    const int loadedBefore = LoadedObjects();
    std::shared_ptr<catalog_fixture::Greeter> greeter;
    EXPECT_EQ("[tova::plugin::Catalog::Create] The plugin "
              "[catalog_fixture::Hello] was built with version 1.1 of "
              "[catalog_fixture::Greeter], which does not serve version 1.2 "
              "in this application.\n",
              StderrOf([&]
                       { greeter = catalog->Create<catalog_fixture::Greeter>(
                             "hello"); }));
    EXPECT_FALSE(greeter);
    EXPECT_EQ(loadedBefore, LoadedObjects());
    EXPECT_FALSE(catalog->IsLoaded(hello));
  }

  TEST_F(CatalogTest, RefusalsAndUnknownNamesWriteOneMessage)
  {
    TemporaryDirectory other;
    Install(TOVA_CATALOG_GREETER_MAJOR_AHEAD, this->directory.Path("a.so"));
    Install(TOVA_CATALOG_GREETER_HI, other.Path("b.so"));
    Catalog catalog;
    catalog.AddSearchPath(this->directory.Path());
    catalog.AddSearchPath(other.Path());
    catalog.Scan();
    const struct
    {
      std::function<bool()> action;
      std::string message;
    } cases[] = {
        {[&] { return !catalog.Create<catalog_fixture::Greeter>(hello); },
         "[tova::plugin::Catalog::Create] The plugin [catalog_fixture::Hello] "
         "was built with version 2.0 of [catalog_fixture::Greeter], which "
         "does not serve version 1.2 in this application.\n"},
        {[&] { return !catalog.Create<catalog_fixture::Unused>(hello); },
         "[tova::plugin::Catalog::Create] The plugin [catalog_fixture::Hello] "
         "does not implement [catalog_fixture::Unused] (version unversioned "
         "in this application).\n"},
        {[&] { return !catalog.Instantiate("nobody"); },
         "[tova::plugin::Catalog] No plugin in the catalog has the name or "
         "alias [nobody].\n"},
        {[&] { return !catalog.Instantiate("hello"); },
         "[tova::plugin::Catalog] The alias [hello] refers to several "
         "plugins:\n -- [catalog_fixture::Hello]\n -- [catalog_fixture::Hi]\n"},
    };
    for (const auto &each : cases)
    {
      bool refused = false;
      EXPECT_EQ(each.message, StderrOf([&] { refused = each.action(); }));
      EXPECT_TRUE(refused);
    }
    EXPECT_FALSE(catalog.IsLoaded(hello));
  }

  TEST_F(CatalogTest, ALibraryThatLiesAboutItsPluginsIsForgotten)
  {
    const std::string path = this->directory.Path("lying.so");
    Install(TOVA_CATALOG_LYING, path);
    const auto catalog = this->ScannedCatalog();
    const int loadedBefore = LoadedObjects();
    const std::string expected =
        "[tova::plugin::Catalog] The library [" + path +
        "] of the plugin [catalog_fixture::Counted<3>] cannot be used: what "
        "it hands over differs from its manifest: plugin "
        "[catalog_fixture::Counted<3>] is only in the manifest; plugin "
        "[catalog_fixture::Counted<3u>] is only in the loaded library.\n";
    for (int attempt = 0; attempt < 2; ++attempt)
      EXPECT_EQ(expected,
                StderrOf([&] { EXPECT_FALSE(catalog->Instantiate("catalog_fixture::Counted<3>")); }));
    EXPECT_EQ(loadedBefore, LoadedObjects());
    EXPECT_FALSE(catalog->IsLoaded("catalog_fixture::Counted<3>"));
  }

  TEST_F(CatalogTest, AFileChangedBetweenScanAndLoadIsNotTrusted)
  {
    const std::string path = this->directory.Path("greeter.so");
    const auto unusable = [&](const std::string &why)
    {
      return "[tova::plugin::Catalog] The library [" + path +
             "] of the plugin [catalog_fixture::Hello] cannot be used: " +
             why + ".\n";
    };
    const struct
    {
      std::function<void()> change;
      std::string message;
    } cases[] = {
        {[&] { fs::remove(path); },
         unusable("its file cannot be read: No such file or directory")},
        {[&] { WriteFile(path, "garbage"); },
         unusable("its file has changed since the scan")},
        {[&] { OverwriteInPlace(TOVA_CATALOG_LYING, path); },
         unusable("its file has changed since the scan")},
    };
    for (const auto &each : cases)
    {
      Install(TOVA_CATALOG_GREETER_1, path);
      const auto catalog = this->ScannedCatalog();
      each.change();
      EXPECT_EQ(each.message,
                StderrOf([&] { EXPECT_FALSE(catalog->Instantiate("hello")); }));
      // Usable again once a refresh has seen the new file.
      Install(TOVA_CATALOG_GREETER_2, path);
      catalog->Refresh();
      const auto greeter = catalog->Create<catalog_fixture::Greeter>("hello");
      ASSERT_TRUE(greeter);
      EXPECT_EQ(2, greeter->Build());
    }
  }
}
