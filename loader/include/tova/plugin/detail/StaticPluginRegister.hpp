#ifndef TOVA_PLUGIN_DETAIL_STATICPLUGINREGISTER_HPP_
#define TOVA_PLUGIN_DETAIL_STATICPLUGINREGISTER_HPP_

// The registration macros of Register.hpp for sources built as a static
// plugin (tova_add_plugin(... STATIC ...), which defines
// TOVA_PLUGIN_STATIC_PLUGIN): the plugins go to the static registry, and
// their manifest notes into the program that links them, where
// ReadManifest and `tova-plugin describe` find them.

#include <tova/plugin/RegisterStatic.hpp>
#include <tova/plugin/detail/ManifestNote.hpp>

#define TOVA_PLUGIN_REGISTER(...)           \
  TOVA_PLUGIN_DETAIL_PLUGIN_NOTE(__VA_ARGS__); \
  TOVA_PLUGIN_REGISTER_STATIC(__VA_ARGS__)

#define TOVA_PLUGIN_ALIASES(PluginClass, ...)                \
  TOVA_PLUGIN_DETAIL_ALIASES_NOTE(PluginClass, __VA_ARGS__); \
  TOVA_PLUGIN_ALIASES_STATIC(PluginClass, __VA_ARGS__)

#endif
