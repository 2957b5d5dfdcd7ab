#ifndef TOVA_PLUGIN_DETAIL_COMPILETIMENAME_HPP_
#define TOVA_PLUGIN_DETAIL_COMPILETIMENAME_HPP_

#include <array>
#include <cstddef>
#include <string_view>

namespace tova::plugin::detail::manifest
{
  /// A run of characters known at compile time.
  template <std::size_t Size>
  using Chars = std::array<char, Size>;

  /// A span of characters; a type of its own, so that the compiler's
  /// spelling of `RawTypeName` names no alias after the template argument.
  struct Span
  {
    const char *begin;
    std::size_t size;
  };

  /// The compiler's signature of this function, which spells out `T`.
  template <class T>
  constexpr Span RawTypeName()
  {
    return {__PRETTY_FUNCTION__, sizeof(__PRETTY_FUNCTION__) - 1};
  }

  /// The name of `T` within the signature of `RawTypeName<T>`: after
  /// "T = " (g++: "[with T = ...]", clang: "[T = ...]"), up to the final ']'.
  template <class T>
  constexpr std::string_view SpelledTypeName()
  {
    const Span raw = RawTypeName<T>();
    const std::string_view signature(raw.begin, raw.size);
    const std::size_t start = signature.find("T = ") + 4;
    return signature.substr(start, signature.size() - 1 - start);
  }

  /// Writes `spelled` as the platform's demangler spells the same name
  /// (when `out` is not null) and returns its length: anonymous namespaces
  /// as "(anonymous namespace)", closing template brackets apart ("> >").
  constexpr std::size_t WriteDemangledSpelling(std::string_view spelled,
                                               char *out)
  {
    constexpr std::string_view gccAnonymous = "{anonymous}";
    constexpr std::string_view demangledAnonymous = "(anonymous namespace)";
    std::size_t size = 0;
    const auto put = [&](char c) {
      if (out)
        out[size] = c;
      ++size;
    };
    for (std::size_t at = 0; at < spelled.size(); ++at)
    {
      if (spelled.substr(at, gccAnonymous.size()) == gccAnonymous)
      {
        for (const char c : demangledAnonymous)
          put(c);
        at += gccAnonymous.size() - 1;
        continue;
      }
      if (spelled[at] == '>' && at > 0 && spelled[at - 1] == '>')
        put(' ');
      put(spelled[at]);
    }
    return size;
  }

  /// The readable name of `T`, as the loader reports it after demangling
  /// the name of its type information (see docs/manifest.md for the shapes
  /// where the two differ).
  template <class T>
  constexpr auto ReadableTypeName()
  {
    constexpr std::string_view spelled = SpelledTypeName<T>();
    Chars<WriteDemangledSpelling(spelled, nullptr)> name{};
    WriteDemangledSpelling(spelled, name.data());
    return name;
  }
}

#endif
