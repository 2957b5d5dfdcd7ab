#ifndef TOVA_PLUGIN_DETAIL_HOOK_HPP_
#define TOVA_PLUGIN_DETAIL_HOOK_HPP_

#include <cstdint>

namespace tova::plugin::detail
{
  /// The function that every plugin library exports as `TovaPluginHook`:
  /// (unused input, out: address of the library's PluginInfoMap,
  ///  in/out: Info version, in/out: Info size, in/out: Info alignment).
  using PluginHookFunction = void (*)(const void *, const void **,
                                      std::int32_t *, std::uint64_t *,
                                      std::uint64_t *);

  /// The name under which the loader looks the hook up with `dlsym`.
  constexpr const char *PluginHookSymbol = "TovaPluginHook";
}

#endif
