// Loading a plugin library and closing it again.

#include <dlfcn.h>

#include <string>

#include <benchmark/benchmark.h>
#include <tova/plugin/Loader.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  /// Stops the benchmark when the library is already open, since then
  /// neither side would map it.
  bool Unloaded(benchmark::State &state, const char *path)
  {
    if (!bench::IsResident(path))
      return true;
    state.SkipWithError("the library is already loaded");
    return false;
  }

  void LoadFramework(benchmark::State &state)
  {
    const std::string path = bench::ShapeLibrary(state.range(0), false);
    if (!Unloaded(state, path.c_str()))
      return;
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      tova::plugin::Loader loader;
      benchmark::DoNotOptimize(loader.LoadLib(path));
    }
    if (bench::IsResident(path.c_str()))
      state.SkipWithError("the loader left the library open");
  }

  /// Opens `path`, looks up `symbol` and closes it again, by hand.
  void OpenAndClose(benchmark::State &state, const char *path,
                    const std::string &symbol)
  {
    if (!Unloaded(state, path))
      return;
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      void *const handle = dlopen(path, RTLD_LAZY);
      benchmark::DoNotOptimize(dlsym(handle, symbol.c_str()));
      dlclose(handle);
    }
  }

  void LoadRaw(benchmark::State &state)
  {
    OpenAndClose(state, bench::ShapeLibrary(state.range(0), true),
                 bench::ShapeFactorySymbol(state.range(0)));
  }

  // The framework's library opened by hand: what its registrations cost at
  // start-up and exit, before the loader does anything.
  void LoadRegisteredByHand(benchmark::State &state)
  {
    OpenAndClose(state, bench::ShapeLibrary(state.range(0), false),
                 "TovaPluginHook");
  }
}

BENCHMARK(LoadFramework)->Name("load/framework")->Arg(1)->Arg(100)->Arg(1000);
BENCHMARK(LoadRaw)->Name("load/raw")->Arg(1)->Arg(100)->Arg(1000);
BENCHMARK(LoadRegisteredByHand)
    ->Name("load/registered-library-by-hand")
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000);
