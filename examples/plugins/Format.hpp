#ifndef SHAPES_PLUGINS_FORMAT_HPP_
#define SHAPES_PLUGINS_FORMAT_HPP_

#include <sstream>
#include <string>

namespace shapes
{
  /// A length as a person would write it: 2, not 2.000000.
  inline std::string Format(double value)
  {
    std::ostringstream text;
    text << value;
    return text.str();
  }
}

#endif
