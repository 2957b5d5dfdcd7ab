// The catalog: scanning a directory of libraries beside loading them, a
// refresh that finds nothing changed, and Create<T> beside the loader's
// Instantiate and QueryInterfaceSharedPtr<T>.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <bench/Shape.hpp>
#include <benchmark/benchmark.h>
#include <tova/plugin/Catalog.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/Plugin.hpp>

#include "AllocationCounter.hpp"
#include "Libraries.hpp"

namespace
{
  namespace fs = std::filesystem;

  constexpr int libraryCount = 100;

  /// A directory of copies of one library, removed at exit.
  class LibraryDirectory
  {
  public:
    LibraryDirectory(const char *library, int copies)
    {
      std::string name = (fs::temp_directory_path() / "tova-bench-XXXXXX");
      this->path = mkdtemp(name.data()) ? name : std::string();
      for (int copy = 0; copy < copies; ++copy)
      {
        this->libraries.push_back(this->path + "/lib" +
                                  std::to_string(1000 + copy) + ".so");
        fs::copy_file(library, this->libraries.back());
      }
    }
    LibraryDirectory(const LibraryDirectory &) = delete;
    LibraryDirectory &operator=(const LibraryDirectory &) = delete;
    ~LibraryDirectory() { fs::remove_all(this->path); }

    std::string path;
    std::vector<std::string> libraries;
  };

  /// 100 libraries of 10 plugins each (copies of one, so the names repeat
  /// and the catalog reports them as shadowed: it does all of its work).
  const LibraryDirectory &HundredLibraries()
  {
    static const LibraryDirectory directory(TOVA_BENCH_SHAPES_10,
                                            libraryCount);
    return directory;
  }

  void ScanCatalog(benchmark::State &state)
  {
    const LibraryDirectory &directory = HundredLibraries();
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      tova::plugin::Catalog catalog;
      catalog.AddSearchPath(directory.path);
      benchmark::DoNotOptimize(catalog.Scan());
    }
  }

  void LoadWithLoader(benchmark::State &state)
  {
    const LibraryDirectory &directory = HundredLibraries();
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
    {
      tova::plugin::Loader loader;
      for (const std::string &library : directory.libraries)
        benchmark::DoNotOptimize(loader.LoadLib(library));
    }
  }

  void RefreshUnchanged(benchmark::State &state)
  {
    const LibraryDirectory &directory = HundredLibraries();
    tova::plugin::Catalog catalog;
    catalog.AddSearchPath(directory.path);
    catalog.Scan();
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
      benchmark::DoNotOptimize(catalog.Refresh());
  }

  const std::string onePlugin = bench::ShapePluginName(1);

  void CreateFromCatalog(benchmark::State &state)
  {
    const LibraryDirectory directory(TOVA_BENCH_SHAPES_1, 1);
    tova::plugin::Catalog catalog;
    catalog.AddSearchPath(directory.path);
    catalog.Scan();
    // Loaded before the loop, and kept loaded by this instance.
    const auto first = catalog.Create<bench::Shape>(onePlugin);
    if (!first)
    {
      state.SkipWithError("the catalog could not create the plugin");
      return;
    }
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
      benchmark::DoNotOptimize(catalog.Create<bench::Shape>(onePlugin)->area());
  }

  void CreateFromLoader(benchmark::State &state)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(bench::ShapeLibrary(1, false));
    bench::AllocationsPerIteration allocations(state);
    for (auto _ : state)
      benchmark::DoNotOptimize(loader.Instantiate(onePlugin)
                                   ->QueryInterfaceSharedPtr<bench::Shape>()
                                   ->area());
  }
}

BENCHMARK(ScanCatalog)->Name("catalog/scan/100");
BENCHMARK(LoadWithLoader)->Name("catalog/loader-load/100");
BENCHMARK(RefreshUnchanged)->Name("catalog/refresh-unchanged/100");
BENCHMARK(CreateFromCatalog)->Name("catalog/create");
BENCHMARK(CreateFromLoader)->Name("catalog/instantiate-query");
