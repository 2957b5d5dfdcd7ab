#ifndef TOVA_PLUGIN_INFO_HPP_
#define TOVA_PLUGIN_INFO_HPP_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>

#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  inline namespace v1
  {
    /// \brief Description of one plugin: how to find it, what it
    /// implements, and how to make and destroy its objects.
    ///
    /// The layout is a binary interface shared with plugin libraries; the
    /// version, size and alignment below are compared before a record crosses.
    struct TOVA_PLUGIN_EXPORT Info
    {
      /// Cast from the plugin object's address to one interface within it.
      using InterfaceCastingMap =
          std::unordered_map<std::string, std::function<void*(void*)>>;

      /// The plugin's name: the ABI type name of its class until a registry
      /// replaces it by the readable form.
      std::string name;

      /// Further names under which the plugin can be looked up.
      std::set<std::string> aliases;

      /// ABI type name of each implemented interface, with its cast function.
      InterfaceCastingMap interfaces;

      /// Readable forms of the keys of `interfaces`.
      std::set<std::string> demangledInterfaces;

      /// Makes a new plugin object and returns its address.
      std::function<void*()> factory;

      /// Destroys a plugin object that `factory` made.
      std::function<void(void*)> deleter;

      /// Empties every field, leaving the record reusable.
      void Clear();
    };

    // Not inline: with internal linkage these never become symbols of a
    // plugin library, which could otherwise tie the library to the process.

    /// Version of the record's layout; changes whenever its fields change.
    constexpr std::int32_t InfoVersion = 1;

    /// Size of the record as this build compiles it.
    constexpr std::uint64_t InfoSize = sizeof(Info);
    /// Alignment of the record as this build compiles it.
    constexpr std::uint64_t InfoAlignment = alignof(Info);

#if defined(__x86_64__) && defined(__GLIBCXX__)
    // Another size almost always means another layout of the standard
    // library, which a plugin and its application must share.
    static_assert(sizeof(Info) == 248 && alignof(Info) == 8,
                  "Info must keep its x86-64 layout (248 bytes, aligned to 8): "
                  "is this built with -D_GLIBCXX_USE_CXX11_ABI=0 or "
                  "-D_GLIBCXX_DEBUG? Both change the standard library's "
                  "layout; see docs/binary-contract.md");
#endif

    /// The records a plugin library hands over, keyed by plugin name (the
    /// key is not read: each record counts under its own `name`).
    using PluginInfoMap = std::unordered_map<std::string, Info>;
  }

  /// \brief The readable form of an ABI symbol or type name.
  ///
  /// Writes a message (see `SetMessageHandler`) and returns `symbol`
  /// unchanged when it cannot be demangled.
  TOVA_PLUGIN_EXPORT std::string DemangleSymbol(const std::string &symbol);
}

#endif
