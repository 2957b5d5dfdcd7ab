// Asking a live instance for an interface.

#include <map>
#include <string>
#include <typeinfo>

#include <bench/Shape.hpp>
#include <benchmark/benchmark.h>
#include <tova/plugin/Loader.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  void QueryFramework(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(bench::ShapeLibrary(1, false));
    const tova::plugin::PluginPtr plugin =
        loader.Instantiate(bench::ShapePluginName(1));
    if (!plugin || !plugin->QueryInterface<bench::Shape>())
    {
      state.SkipWithError("the plugin does not answer for its interface");
      return;
    }

    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
      benchmark::DoNotOptimize(plugin->QueryInterface<bench::Shape>());
  }

  // The same table as an instance holds, searched with a key that was
  // built before the loop.
  void QueryRaw(benchmark::State &state)
  {
    static double object = 0.0;
    const std::string key = typeid(bench::Shape).name();
    const std::map<std::string, void *> interfaces{{key, &object}};

    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
      benchmark::DoNotOptimize(interfaces.find(key)->second);
  }
}

BENCHMARK(QueryFramework)->Name("query/framework");
BENCHMARK(QueryRaw)->Name("query/raw");
