// Every operation of a catalog from several threads at once, while another
// thread replaces the library and refreshes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <catalog_fixture/Greeter.hpp>
#include <tova/plugin/Catalog.hpp>

#include "CatalogSupport.hpp"

namespace tova::test
{
  TEST(CatalogThreads, CreateAndQueryWhileRefreshReplacesTheLibrary)
  {
    TemporaryDirectory directory;
    const std::string path = directory.Path("greeter.so");
    const std::string builds[] = {TOVA_CATALOG_GREETER_1,
                                  TOVA_CATALOG_GREETER_2};
    Install(builds[0], path);
    plugin::Catalog catalog;
    catalog.AddSearchPath(directory.Path());
    catalog.Scan();

    std::atomic<bool> replacing{true};
    std::atomic<int> wrongBuilds{0};
    std::atomic<int> created{0};
    std::vector<std::thread> users;
    for (int thread = 0; thread < 3; ++thread)
      users.emplace_back(
          [&]
          {
            // Instances outlive the refreshes that forget their library.
            std::vector<std::shared_ptr<catalog_fixture::Greeter>> alive;
            while (replacing)
            {
              auto greeter = catalog.Create<catalog_fixture::Greeter>("hello");
              if (!greeter)
                continue;
              wrongBuilds += greeter->Build() != 1 && greeter->Build() != 2;
              ++created;
              alive.push_back(std::move(greeter));
              if (alive.size() > 4)
                alive.erase(alive.begin());
              catalog.AllPlugins();
              catalog.PluginsImplementing<catalog_fixture::Greeter>();
              catalog.LibraryOfPlugin("hello");
              catalog.IsLoaded("hello");
            }
          });
    for (int cycle = 0; cycle < 20; ++cycle)
    {
      Install(builds[cycle % 2], path);
      catalog.Refresh();
      catalog.Instantiate("hello");
    }
    replacing = false;
    for (std::thread &user : users)
      user.join();
    EXPECT_EQ(0, wrongBuilds);
    EXPECT_GT(created, 0);
  }

  TEST(CatalogThreads, TheFirstUseFromManyThreadsLoadsOnce)
  {
    TemporaryDirectory directory;
    Install(TOVA_CATALOG_GREETER_3, directory.Path("greeter.so"));
    plugin::Catalog catalog;
    catalog.AddSearchPath(directory.Path());
    catalog.Scan();
    const int loadedBefore = LoadedObjects();
    std::vector<std::thread> users;
    std::atomic<int> created{0};
    for (int thread = 0; thread < 4; ++thread)
      users.emplace_back(
          [&]
          {
            const auto greeter =
                catalog.Create<catalog_fixture::Greeter>("hello");
            created += greeter && greeter->Build() == 3;
          });
    for (std::thread &user : users)
      user.join();
    EXPECT_EQ(4, created);
    EXPECT_EQ(loadedBefore + 1, LoadedObjects());
  }
}
