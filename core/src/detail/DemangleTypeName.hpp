#ifndef TOVA_PLUGIN_SRC_DETAIL_DEMANGLETYPENAME_HPP_
#define TOVA_PLUGIN_SRC_DETAIL_DEMANGLETYPENAME_HPP_

#include <cstddef>
#include <string>
#include <string_view>

namespace tova::plugin::detail
{
  /// The most name components that the short way reads.
  inline constexpr std::size_t MaxPlainComponents = 64;

  /// True for an identifier that the demangler prints as it is: letters,
  /// digits and underscores, not starting with a digit or an underscore
  /// (names such as `_GLOBAL__N_1` are printed otherwise).
  inline bool IsPlainIdentifier(std::string_view identifier)
  {
    if (identifier.empty() || identifier[0] == '_' ||
        (identifier[0] >= '0' && identifier[0] <= '9'))
      return false;
    for (const char c : identifier)
    {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '_';
      if (!plain)
        return false;
    }
    return true;
  }

  /// Reads one `<length><identifier>` from the front of `rest` and appends
  /// the identifier to `readable`; false if it is not of that plain shape.
  inline bool ReadPlainComponent(std::string_view &rest, std::string &readable)
  {
    // No leading zero, and few enough digits not to overflow.
    if (rest.empty() || rest[0] < '1' || rest[0] > '9')
      return false;
    std::size_t length = 0;
    std::size_t digits = 0;
    for (; digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9';
         ++digits)
    {
      if (digits == 6)
        return false;
      length = length * 10 + static_cast<std::size_t>(rest[digits] - '0');
    }
    if (length > rest.size() - digits)
      return false;
    const std::string_view identifier = rest.substr(digits, length);
    if (!IsPlainIdentifier(identifier))
      return false;
    readable.append(identifier);
    rest.remove_prefix(digits + length);
    return true;
  }

  /// \brief The readable form of the ABI type names that plugin classes
  /// and interfaces mostly have, without the general demangler.
  ///
  /// Reads `<length><identifier>` and `N<length><identifier>...E` with at
  /// least two plain identifiers, which `__cxa_demangle` prints joined by
  /// `::`; returns false, leaving `readable` unspecified, for anything
  /// else, which the caller hands to `__cxa_demangle`.
  inline bool DemanglePlainTypeName(std::string_view symbol,
                                    std::string &readable)
  {
    readable.clear();
    if (symbol.empty() || symbol[0] != 'N')
      return ReadPlainComponent(symbol, readable) && symbol.empty();
    symbol.remove_prefix(1);
    std::size_t components = 0;
    while (!symbol.empty() && symbol[0] != 'E')
    {
      if (components == MaxPlainComponents)
        return false;
      if (components++ != 0)
        readable.append("::");
      if (!ReadPlainComponent(symbol, readable))
        return false;
    }
    return components >= 2 && symbol == "E";
  }
}

#endif
