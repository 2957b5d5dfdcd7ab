// The short way of demangling plain type names against __cxa_demangle:
// whatever the short way accepts, __cxa_demangle must demangle to the very
// same bytes. Each input is tried as it is and as the pieces of a nested
// name built from it (pieces separated by '/'), which reaches the shapes
// the short way accepts far more often than raw bytes do.

#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzInput.hpp"
#include "detail/DemangleTypeName.hpp"

namespace
{
  using tova::fuzz::Check;

  void CompareWithTheDemangler(const std::string &symbol)
  {
    std::string readable;
    if (!tova::plugin::detail::DemanglePlainTypeName(symbol, readable))
      return;
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status),
        &std::free);
    Check(status == 0 && demangled, "the demangler accepts what the short "
                                    "way accepts");
    Check(readable == demangled.get(), "both give the same bytes");
  }

  /// `N<length><piece>...E`, or `<length><piece>` for a single piece.
  std::string NestedName(const std::vector<std::string_view> &pieces)
  {
    std::string symbol = pieces.size() == 1 ? "" : "N";
    for (const std::string_view piece : pieces)
      symbol += std::to_string(piece.size()) + std::string(piece);
    return pieces.size() == 1 ? symbol : symbol + "E";
  }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size)
{
  const std::string input(reinterpret_cast<const char *>(data), size);
  CompareWithTheDemangler(input);

  std::vector<std::string_view> pieces;
  std::string_view rest = input;
  for (auto slash = rest.find('/'); slash != std::string_view::npos;
       slash = rest.find('/'))
  {
    pieces.push_back(rest.substr(0, slash));
    rest.remove_prefix(slash + 1);
  }
  pieces.push_back(rest);
  const std::string nested = NestedName(pieces);
  CompareWithTheDemangler(nested);

  // Plain pieces must take the short way, or it would prove nothing.
  bool allPlain = pieces.size() <= tova::plugin::detail::MaxPlainComponents;
  for (const std::string_view piece : pieces)
    allPlain = allPlain && tova::plugin::detail::IsPlainIdentifier(piece);
  std::string readable;
  Check(!allPlain ||
            tova::plugin::detail::DemanglePlainTypeName(nested, readable),
        "a name of plain pieces takes the short way");
  return 0;
}
