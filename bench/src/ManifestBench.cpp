// Reading a plugin library's manifest from its file, beside loading it.

#include <benchmark/benchmark.h>
#include <tova/plugin/Manifest.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  void ReadManifest(benchmark::State &state)
  {
    const char *const path = bench::ShapeLibrary(state.range(0), false);
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
      benchmark::DoNotOptimize(tova::plugin::ReadManifest(path));
    if (bench::IsResident(path))
      state.SkipWithError("reading the manifest loaded the library");
  }
}

BENCHMARK(ReadManifest)
    ->Name("manifest/framework")
    ->Arg(1)
    ->Arg(100)
    ->Arg(1000);
