// Thousands of cycles on one library: the process must hold what it held
// before, in mapped regions, open descriptors and heap, and the figures
// are printed so that every run can be compared.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>

#include <fixture/Shape.hpp>
#include <support/LibraryState.hpp>
#include <tova/plugin/Loader.hpp>

#include "ProcessFigures.hpp"

#ifndef TOVA_SOAK_DIVISOR
#define TOVA_SOAK_DIVISOR 1
#endif

namespace
{
  using tova::plugin::Loader;
  using tova::plugin::PluginPtr;
  using tova::test::IsLoaded;
  using tova::test::MeasureProcess;
  using tova::test::ProcessFigures;

  const std::string path = TOVA_FIXTURE_ONE_PLUGIN;

  /// Builds with sanitizers run a tenth of the cycles; the plain build
  /// runs them all.
  constexpr int Scaled(int cycles)
  {
    return cycles / TOVA_SOAK_DIVISOR;
  }

  struct SoakFigures
  {
    ProcessFigures before;
    ProcessFigures after;
    int failedCycles = 0;

    std::size_t HeapGrowth() const
    {
      return this->after.heapInUse > this->before.heapInUse
                 ? this->after.heapInUse - this->before.heapInUse
                 : 0;
    }
  };

  /// Runs `cycle` and the measurement a few times to let one-time
  /// allocations happen, then `cycles` times between two measurements,
  /// and prints the figures.
  SoakFigures Soak(const std::string &what, int cycles,
                   const std::function<bool()> &cycle)
  {
    for (int warmUp = 0; warmUp < 16; ++warmUp)
    {
      cycle();
      MeasureProcess();
    }

    SoakFigures figures;
    figures.before = MeasureProcess();
    for (int index = 0; index < cycles; ++index)
      figures.failedCycles += !cycle();
    figures.after = MeasureProcess();

    std::ostringstream report;
    report << "soak: " << cycles << " cycles of " << what << "\n"
           << "  before: " << figures.before << "\n"
           << "  after:  " << figures.after << "\n";
    std::fputs(report.str().c_str(), stdout);
    std::fflush(stdout);
    return figures;
  }

  /// Everything is back where it was. A sanitizer's allocator maps memory
  /// on its own schedule, and there the platform's own dlopen, dlsym and
  /// dlclose keep heap for every fresh handle, in tables that grow by
  /// doubling: the heap may grow by as much as theirs did
  /// (`platformHeapGrowth`) and one such step, far less than one byte per
  /// cycle.
  void ExpectAllReturned(const SoakFigures &figures,
                         std::size_t platformHeapGrowth = 0)
  {
    EXPECT_EQ(0, figures.failedCycles);
    EXPECT_EQ(figures.before.openDescriptors, figures.after.openDescriptors);
#ifdef TOVA_HARDENING_SANITIZED
    constexpr std::size_t tableStep = 4096;
    // The sanitizer runtime also maps regions of its own bookkeeping (one
    // of some tens of megabytes, once) whenever its tables fill; the plain
    // build checks the exact count.
    constexpr std::size_t runtimeRegions = 2;
    EXPECT_LE(figures.after.mappedRegions,
              figures.before.mappedRegions + runtimeRegions);
    EXPECT_LE(figures.HeapGrowth(), platformHeapGrowth + tableStep);
#else
    EXPECT_EQ(0u, platformHeapGrowth);
    EXPECT_EQ(figures.before, figures.after);
#endif
  }

  bool InstantiateAndQuery(const Loader &loader)
  {
    const PluginPtr single = loader.Instantiate("fixture::Single");
    const auto *shape =
        single.IsEmpty() ? nullptr : single->QueryInterface<fixture::Shape>();
    return shape && shape->Area() == 1.0;
  }

  /// What the platform alone does in one cycle below: open the library,
  /// find its hook, look it up twice more without loading, close it.
  bool PlatformCycle()
  {
    void *const handle = dlopen(path.c_str(), RTLD_LAZY);
    const bool found = handle && dlsym(handle, "TovaPluginHook");
    const bool loaded = IsLoaded(path) && IsLoaded(path);
    return handle && dlclose(handle) == 0 && found && loaded;
  }
}

TEST(Soak, LoadInstantiateQueryDropForgetReturnsEverything)
{
  const int cycles = Scaled(10000);
  const SoakFigures platform =
      Soak("dlopen, dlsym, dlclose", cycles, &PlatformCycle);

  Loader loader;
  const auto cycle = [&loader] {
    const bool loaded = loader.LoadLib(path).size() == 1;
    const bool used = InstantiateAndQuery(loader);
    const bool forgotten = loader.ForgetLibrary(path);
    return loaded && used && forgotten && !IsLoaded(path);
  };
  ExpectAllReturned(
      Soak("load, instantiate, query, drop, forget", cycles, cycle),
      platform.HeapGrowth());
}

TEST(Soak, InstantiateAndDropReturnsEverything)
{
  Loader loader;
  ASSERT_EQ(1u, loader.LoadLib(path).size());
  const auto cycle = [&loader] { return InstantiateAndQuery(loader); };
  ExpectAllReturned(Soak("instantiate, query, drop", Scaled(100000), cycle));
  EXPECT_TRUE(loader.ForgetLibrary(path));
  EXPECT_FALSE(IsLoaded(path));
}
