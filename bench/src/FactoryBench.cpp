// Making one product and dropping it.

#include <memory>

#include <bench/Square.hpp>
#include <benchmark/benchmark.h>
#include <tova/plugin/Factory.hpp>
#include <tova/plugin/Loader.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  // Products park their library reference when they go; the application
  // releases the parked ones from time to time, and so does the loop, which
  // thereby includes that cost too.
  constexpr int ProductsPerCleanup = 1024;

  void FactoryFramework(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(TOVA_BENCH_SQUARE_FACTORY);
    const tova::plugin::PluginPtr plugin =
        loader.Instantiate(bench::SquareFactoryAlias);
    bench::ShapeFactory *const factory =
        plugin->QueryInterface<bench::ShapeFactory>();
    if (!factory)
    {
      state.SkipWithError("the factory plugin could not be instantiated");
      return;
    }

    {
      bench::AllocationsPerIteration allocations(state);
      int sinceCleanup = 0;
      for (auto _ : state)
      {
        benchmark::DoNotOptimize(factory->Construct().get());
        if (++sinceCleanup == ProductsPerCleanup)
        {
          tova::plugin::CleanupLostProducts();
          sinceCleanup = 0;
        }
      }
    }
    tova::plugin::CleanupLostProducts();
  }

  void FactoryRaw(benchmark::State &state)
  {
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      const std::unique_ptr<bench::Shape> product(new bench::Square);
      benchmark::DoNotOptimize(product.get());
    }
  }
}

BENCHMARK(FactoryFramework)->Name("factory/framework");
BENCHMARK(FactoryRaw)->Name("factory/raw");
