// DemangleSymbol on any bytes: it never fails towards its caller; when the
// demangler rejects the text it writes exactly one line naming the text
// and the status, and returns the text unchanged.

#include <cstdint>
#include <string>

#include <tova/plugin/Info.hpp>

#include "FuzzInput.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size)
{
  using tova::fuzz::Check;
  const std::string symbol(reinterpret_cast<const char *>(data), size);
  tova::fuzz::StderrCapture stderrText;
  const std::string readable = tova::plugin::DemangleSymbol(symbol);
  const std::string message = stderrText.Take();

  if (message.empty())
  {
    Check(!readable.empty(), "a demangled name is never empty");
    return 0;
  }
  Check(readable == symbol, "a rejected symbol comes back unchanged");
  const std::string prefix =
      "[Demangle] Failed to demangle the symbol name [" + symbol +
      "]. Error code: ";
  Check(message.rfind(prefix, 0) == 0, "failure line names the symbol");
  const std::string status = message.substr(prefix.size());
  Check(status == "-1\n" || status == "-2\n" || status == "-3\n",
        "failure line ends with the demangler's status");
  return 0;
}
