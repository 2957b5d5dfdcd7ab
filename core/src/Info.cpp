#include <cxxabi.h>

#include <cstdlib>
#include <memory>

#include <tova/plugin/Info.hpp>

#include "detail/DemangleTypeName.hpp"
#include "detail/WriteMessage.hpp"

namespace tova::plugin
{
  inline namespace v1
  {
    void Info::Clear()
    {
      this->name.clear();
      this->aliases.clear();
      this->interfaces.clear();
      this->demangledInterfaces.clear();
      this->factory = nullptr;
      this->deleter = nullptr;
    }
  }

  std::string DemangleSymbol(const std::string &symbol)
  {
    // Most plugin and interface names take the short way, which gives the
    // same bytes (a fuzz target compares the two).
    std::string readable;
    if (detail::DemanglePlainTypeName(symbol, readable))
      return readable;

    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status),
        &std::free);

    if (status == 0 && demangled)
      return demangled.get();

    detail::WriteMessage<MessageKind::DemanglingFailed>(symbol, status);
    return symbol;
  }
}
