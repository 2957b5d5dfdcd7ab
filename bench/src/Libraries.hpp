#ifndef TOVA_PLUGIN_BENCH_LIBRARIES_HPP_
#define TOVA_PLUGIN_BENCH_LIBRARIES_HPP_

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

namespace bench
{
  /// The generated library with `count` classes registered with the
  /// framework, or with `raw` the one exporting plain factory functions.
  inline const char *ShapeLibrary(std::int64_t count, bool raw)
  {
    switch (count)
    {
      case 1: return raw ? TOVA_BENCH_RAW_SHAPES_1 : TOVA_BENCH_SHAPES_1;
      case 100: return raw ? TOVA_BENCH_RAW_SHAPES_100 : TOVA_BENCH_SHAPES_100;
      case 1000:
        return raw ? TOVA_BENCH_RAW_SHAPES_1000 : TOVA_BENCH_SHAPES_1000;
      default: return "";
    }
  }

  /// The suffix of the class that the benchmarks make from a library of
  /// `count` classes: the last one, four digits wide as generated.
  inline std::string ShapeId(std::int64_t count)
  {
    char id[16];
    std::snprintf(id, sizeof(id), "%04lld", static_cast<long long>(count));
    return id;
  }

  /// The readable plugin name of that class.
  inline std::string ShapePluginName(std::int64_t count)
  {
    return "bench::Shape" + ShapeId(count);
  }

  /// The raw library's factory function for that class.
  inline std::string ShapeFactorySymbol(std::int64_t count)
  {
    return "bench_make_shape_" + ShapeId(count);
  }

  /// True when the library is already loaded in the process, so that
  /// opening it would only count a reference.
  inline bool IsResident(const char *path)
  {
    void *const handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
      dlclose(handle);
    return handle != nullptr;
  }
}

#endif
