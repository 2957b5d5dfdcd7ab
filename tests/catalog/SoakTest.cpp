// A thousand cycles of replacing a library and refreshing while an instance
// of the previous version lives: the process must hold what it held before,
// in mapped regions, open descriptors and heap. The figures are printed so
// that every run can be compared.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include <catalog_fixture/Greeter.hpp>
#include <hardening/ProcessFigures.hpp>
#include <tova/plugin/Catalog.hpp>

#include "CatalogSupport.hpp"

#ifndef TOVA_SOAK_DIVISOR
#define TOVA_SOAK_DIVISOR 1
#endif

namespace tova::test
{
  namespace
  {
    /// Runs `cycle` a few times to let one-time allocations happen, then
    /// `cycles` times between two measurements, and prints the figures.
    std::pair<ProcessFigures, ProcessFigures> Soak(
        const std::string &what, const std::function<void()> &cycle)
    {
      for (int warmUp = 0; warmUp < 16; ++warmUp)
      {
        cycle();
        MeasureProcess();
      }
      const int cycles = 1000 / TOVA_SOAK_DIVISOR;
      const ProcessFigures before = MeasureProcess();
      for (int index = 0; index < cycles; ++index)
        cycle();
      const ProcessFigures after = MeasureProcess();
      std::ostringstream report;
      report << "soak: " << cycles << " cycles of " << what << "\n"
             << "  before: " << before << "\n"
             << "  after:  " << after << "\n";
      std::fputs(report.str().c_str(), stdout);
      return {before, after};
    }

    std::size_t HeapGrowth(const std::pair<ProcessFigures, ProcessFigures> &run)
    {
      return run.second.heapInUse > run.first.heapInUse
                 ? run.second.heapInUse - run.first.heapInUse
                 : 0;
    }

    /// What the platform alone does in one cycle below: open a copy of the
    /// library under a new name while the previous copy is open, close
    /// that one.
    class PlatformCycle
    {
    public:
      explicit PlatformCycle(const TemporaryDirectory &directory)
          : directory(directory)
      {
      }
      ~PlatformCycle()
      {
        if (this->previous)
          dlclose(this->previous);
      }
      void operator()()
      {
        const std::string path =
            this->directory.Path(std::to_string(++this->copies) + ".so");
        WriteFile(path, this->library);
        void *const handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        unlink(path.c_str());
        if (this->previous)
          dlclose(this->previous);
        this->previous = handle;
      }

    private:
      const TemporaryDirectory &directory;
      const std::string library = ContentsOf(TOVA_CATALOG_GREETER_1);
      void *previous = nullptr;
      int copies = 0;
    };
  }

  TEST(CatalogSoak, RefreshAndReplaceWithLiveInstancesReturnsEverything)
  {
    TemporaryDirectory directory;
    PlatformCycle platformCycle(directory);
    const auto platform = Soak("dlopen of a new copy, dlclose",
                               [&] { platformCycle(); });
    const std::string path = directory.Path("greeter.so");
    const std::string contents[] = {ContentsOf(TOVA_CATALOG_GREETER_1),
                                    ContentsOf(TOVA_CATALOG_GREETER_2)};
    plugin::Catalog catalog;
    catalog.AddSearchPath(directory.Path());
    std::shared_ptr<catalog_fixture::Greeter> previous;
    int failedCycles = 0;
    int cycleNumber = 0;
    // The new build replaces the file and is used while the instance of
    // the previous build still lives; then that one goes.
    const auto cycle = [&]
    {
      const int build = cycleNumber++ % 2;
      WriteFile(path + ".new", contents[build]);
      fs::rename(path + ".new", path);
      const bool replaced = catalog.Refresh().replaced.size() == 1;
      auto current = catalog.Create<catalog_fixture::Greeter>("hello");
      failedCycles += !replaced || !current || current->Build() != build + 1 ||
                      previous->Build() == build + 1;
      previous = std::move(current);
    };
    WriteFile(path, contents[1]);
    catalog.Scan();
    previous = catalog.Create<catalog_fixture::Greeter>("hello");
    ASSERT_TRUE(previous);
    const auto run = Soak("replace, refresh, create", cycle);

    EXPECT_EQ(0, failedCycles);
    EXPECT_EQ(run.first.openDescriptors, run.second.openDescriptors);
#ifdef TOVA_HARDENING_SANITIZED
    // The sanitizer runtime maps regions of its own bookkeeping whenever
    // its tables fill (see hardening/SoakTest.cpp).
    EXPECT_LE(run.second.mappedRegions, run.first.mappedRegions + 2);
#else
    EXPECT_EQ(run.first.mappedRegions, run.second.mappedRegions);
#endif
    // The platform's loader keeps heap for libraries opened under new
    // names, in tables that grow by doubling: the catalog may grow by as
    // much as the platform alone did, and one such step.
    EXPECT_LE(HeapGrowth(run), HeapGrowth(platform) + 4096);
  }
}
