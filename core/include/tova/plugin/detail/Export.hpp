#ifndef TOVA_PLUGIN_DETAIL_EXPORT_HPP_
#define TOVA_PLUGIN_DETAIL_EXPORT_HPP_

/// Marks a declaration as part of a library's binary interface; the
/// libraries are built with hidden visibility, so nothing else is exported.
#define TOVA_PLUGIN_EXPORT __attribute__((visibility("default")))

/// Keeps a symbol private to the shared object that defines it, so that two
/// plugin libraries never merge their registration state.
#define TOVA_PLUGIN_HIDDEN __attribute__((visibility("hidden")))

#endif
