#ifndef TOVA_PLUGIN_DETAIL_ERRORMESSAGE_HPP_
#define TOVA_PLUGIN_DETAIL_ERRORMESSAGE_HPP_

#include <iostream>
#include <sstream>

namespace tova::plugin::detail
{
  /// Writes one message to the standard error stream in a single write, so
  /// that messages written by threads at the same time never interleave.
  template <typename... Parts>
  void WriteErrorMessage(const Parts &...parts)
  {
    std::ostringstream message;
    (message << ... << parts);
    std::cerr << message.str();
  }
}

#endif
