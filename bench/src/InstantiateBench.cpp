// Making one instance, using it through its interface, and dropping it,
// with the library already loaded: through Instantiate and a query, through
// Loader::Create, and by hand.

#include <dlfcn.h>

#include <string>

#include <bench/Shape.hpp>
#include <benchmark/benchmark.h>
#include <tova/plugin/Loader.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  void InstantiateFramework(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(bench::ShapeLibrary(state.range(0), false));
    const std::string name = bench::ShapePluginName(state.range(0));
    if (!loader.Instantiate(name))
    {
      state.SkipWithError("the plugin could not be instantiated");
      return;
    }

    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      const tova::plugin::PluginPtr plugin = loader.Instantiate(name);
      benchmark::DoNotOptimize(
          plugin->QueryInterface<bench::Shape>()->area());
    }
  }

  void CreateFramework(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(bench::ShapeLibrary(state.range(0), false));
    const std::string name = bench::ShapePluginName(state.range(0));
    if (!loader.Create<bench::Shape>(name))
    {
      state.SkipWithError("the plugin could not be created");
      return;
    }

    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      const auto shape = loader.Create<bench::Shape>(name);
      benchmark::DoNotOptimize(shape->area());
    }
  }

  void InstantiateRaw(benchmark::State &state)
  {
    void *const handle =
        dlopen(bench::ShapeLibrary(state.range(0), true), RTLD_LAZY);
    const std::string symbol = bench::ShapeFactorySymbol(state.range(0));
    if (!handle || !dlsym(handle, symbol.c_str()))
    {
      state.SkipWithError("the raw library or its factory is missing");
      return;
    }

    {
      bench::AllocationsPerIteration allocations(state);
      for (auto _ : state)
      {
        const auto make = reinterpret_cast<bench::MakeShapeFunction>(
            dlsym(handle, symbol.c_str()));
        bench::Shape *const shape = make();
        benchmark::DoNotOptimize(shape->area());
        delete shape;
      }
    }
    dlclose(handle);
  }
}

BENCHMARK(InstantiateFramework)
    ->Name("instantiate/framework")
    ->Arg(1)
    ->Arg(1000);
BENCHMARK(CreateFramework)->Name("create/framework")->Arg(1)->Arg(1000);
BENCHMARK(InstantiateRaw)->Name("instantiate/raw")->Arg(1)->Arg(1000);
