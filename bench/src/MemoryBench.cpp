// What each live instance keeps on the heap, measured over many instances
// that live at once.

#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

#include <bench/Shape.hpp>
#include <benchmark/benchmark.h>
#include <tova/plugin/Loader.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  constexpr std::size_t LiveInstances = 1000;

  /// Counts what `makeAll` (which makes `LiveInstances` more) leaves
  /// allocated, per instance, and reports it as the counters "live_allocs"
  /// and "live_bytes".
  template <class MakeAll, class DropAll>
  void MeasureLiveInstances(benchmark::State &state, MakeAll makeAll,
                            DropAll dropAll)
  {
    bench::AllocationTally before;
    bench::AllocationTally after;
    bench::CountAllocatedBytes(true);
    for (auto _ : state)
    {
      // Two batches, the second one measured: the first takes whatever
      // small blocks the thread has cached, so that every block that an
      // instance of the second keeps is a new allocation.
      makeAll();
      before = bench::CurrentAllocations();
      makeAll();
      after = bench::CurrentAllocations();
      state.PauseTiming();
      dropAll();
      state.ResumeTiming();
    }
    bench::CountAllocatedBytes(false);

    const auto perInstance = [](std::size_t count) {
      return static_cast<double>(count) / LiveInstances;
    };
    state.counters["live_allocs"] =
        perInstance((after.allocations - before.allocations) -
                    (after.releases - before.releases));
    state.counters["live_bytes"] =
        perInstance((after.allocatedBytes - before.allocatedBytes) -
                    (after.releasedBytes - before.releasedBytes));
    state.SetItemsProcessed(state.iterations() * LiveInstances);
  }

  void MemoryFramework(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(bench::ShapeLibrary(1, false));
    const std::string name = bench::ShapePluginName(1);
    std::vector<tova::plugin::PluginPtr> plugins;
    plugins.reserve(2 * LiveInstances);

    MeasureLiveInstances(
        state,
        [&] {
          for (std::size_t i = 0; i < LiveInstances; ++i)
            plugins.push_back(loader.Instantiate(name));
        },
        [&] { plugins.clear(); });
  }

  void MemoryCreate(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(bench::ShapeLibrary(1, false));
    const std::string name = bench::ShapePluginName(1);
    std::vector<std::shared_ptr<bench::Shape>> shapes;
    shapes.reserve(2 * LiveInstances);

    MeasureLiveInstances(
        state,
        [&] {
          for (std::size_t i = 0; i < LiveInstances; ++i)
            shapes.push_back(loader.Create<bench::Shape>(name));
        },
        [&] { shapes.clear(); });
  }

  void MemoryRaw(benchmark::State &state)
  {
    void *const handle = dlopen(bench::ShapeLibrary(1, true), RTLD_LAZY);
    const auto make = reinterpret_cast<bench::MakeShapeFunction>(
        handle ? dlsym(handle, bench::ShapeFactorySymbol(1).c_str())
               : nullptr);
    if (!make)
    {
      state.SkipWithError("the raw library or its factory is missing");
      return;
    }
    std::vector<bench::Shape *> shapes;
    shapes.reserve(2 * LiveInstances);

    MeasureLiveInstances(
        state,
        [&] {
          for (std::size_t i = 0; i < LiveInstances; ++i)
            shapes.push_back(make());
        },
        [&] {
          for (bench::Shape *shape : shapes)
            delete shape;
          shapes.clear();
        });
    dlclose(handle);
  }
}

BENCHMARK(MemoryFramework)->Name("memory/framework")->Iterations(20);
BENCHMARK(MemoryCreate)->Name("memory/create")->Iterations(20);
BENCHMARK(MemoryRaw)->Name("memory/raw")->Iterations(20);
