// Replacing libraries while instances of them live: old and new versions
// side by side, files overwritten in place, and nothing left on disk.
#include <gtest/gtest.h>

#include <catalog_fixture/Greeter.hpp>
#include <tova/plugin/Catalog.hpp>

#include "CatalogSupport.hpp"

namespace tova::test
{
  namespace
  {
    using plugin::Catalog;
    using Greeter = catalog_fixture::Greeter;

    class ReplacementTest : public testing::Test
    {
    protected:
      ReplacementTest() { this->catalog.AddSearchPath(this->directory.Path()); }

      std::shared_ptr<Greeter> Create()
      {
        return this->catalog.Create<Greeter>("hello");
      }

      TemporaryDirectory directory;
      // Declared after the plugin directory: TMPDIR points elsewhere only
      // for the snapshots.
      PrivateTemporaryRoot temporaryRoot;
      std::string path = this->directory.Path("greeter.so");
      Catalog catalog;
    };
  }

  TEST_F(ReplacementTest, ThreeVersionsOfOnePluginLiveSideBySide)
  {
    Install(TOVA_CATALOG_GREETER_1, this->path);
    this->catalog.Scan();
    const auto first = this->Create();
    ASSERT_TRUE(first);

    Install(TOVA_CATALOG_GREETER_2, this->path);
    const auto changes = this->catalog.Refresh();
    EXPECT_EQ(std::vector<std::string>{this->path}, changes.replaced);
    EXPECT_TRUE(changes.added.empty());
    EXPECT_TRUE(changes.removed.empty());
    EXPECT_FALSE(this->catalog.IsLoaded("hello"));
    const auto second = this->Create();
    ASSERT_TRUE(second);

    OverwriteInPlace(TOVA_CATALOG_GREETER_3, this->path);
    EXPECT_EQ(std::vector<std::string>{this->path},
              this->catalog.Refresh().replaced);
    const auto third = this->Create();
    ASSERT_TRUE(third);

    EXPECT_EQ(1, first->Build());
    EXPECT_EQ(2, second->Build());
    EXPECT_EQ(3, third->Build());
    EXPECT_EQ(3, this->Create()->Build());
  }

  TEST_F(ReplacementTest, AnInPlaceOverwriteLeavesLiveInstancesAlone)
  {
    Install(TOVA_CATALOG_GREETER_1, this->path);
    this->catalog.Scan();
    const auto live = this->Create();
    ASSERT_TRUE(live);
    // Without a refresh the catalog still uses the library it loaded.
    OverwriteInPlace(TOVA_CATALOG_GREETER_2, this->path);
    EXPECT_EQ(1, this->Create()->Build());
    WriteFile(this->path, "garbage");
    EXPECT_EQ(1, live->Build());
    EXPECT_EQ(1, this->Create()->Build());
  }

  TEST_F(ReplacementTest, RefreshReportsAddedRemovedAndReplacedFiles)
  {
    Install(TOVA_CATALOG_GREETER_1, this->path);
    Install(TOVA_CATALOG_LYING, this->directory.Path("gone.so"));
    this->catalog.Scan();
    const auto loaded = this->Create();
    ASSERT_TRUE(loaded);

    // Unchanged files keep their loaded library.
    const auto unchanged = this->catalog.Refresh();
    EXPECT_TRUE(unchanged.added.empty() && unchanged.removed.empty() &&
                unchanged.replaced.empty());
    EXPECT_TRUE(this->catalog.IsLoaded("hello"));

    fs::remove(this->directory.Path("gone.so"));
    Install(TOVA_CATALOG_GREETER_2, this->directory.Path("new.so"));
    Install(TOVA_CATALOG_GREETER_3, this->path);
    const auto changes = this->catalog.Refresh();
    EXPECT_EQ(std::vector<std::string>{this->directory.Path("new.so")},
              changes.added);
    EXPECT_EQ(std::vector<std::string>{this->directory.Path("gone.so")},
              changes.removed);
    EXPECT_EQ(std::vector<std::string>{this->path}, changes.replaced);
    ASSERT_EQ(1u, changes.scan.shadowed.size());
    EXPECT_EQ(3, this->Create()->Build());
    EXPECT_EQ(1, loaded->Build());
    EXPECT_TRUE(this->catalog.PluginsImplementing("catalog_fixture::Greeter")
                    .count(std::string("catalog_fixture::Hello")));
  }

  TEST_F(ReplacementTest, NoSnapshotIsLeftOnDisk)
  {
    Install(TOVA_CATALOG_GREETER_1, this->path);
    std::shared_ptr<Greeter> survivor;
    {
      Catalog own;
      own.AddSearchPath(this->directory.Path());
      own.Scan();
      survivor = own.Create<Greeter>("hello");
      ASSERT_TRUE(survivor);
      EXPECT_TRUE(this->temporaryRoot.HoldsSnapshots());
    }
    EXPECT_EQ(1, survivor->Build());
    survivor.reset();
    EXPECT_FALSE(this->temporaryRoot.HoldsSnapshots());
  }
}
