#ifndef CONSUMER_GREETER_HPP_
#define CONSUMER_GREETER_HPP_

#include <string>

#include <tova/plugin/InterfaceVersion.hpp>

namespace consumer
{
  /// The interface that the program looks for in the plugin.
  class Greeter
  {
  public:
    virtual ~Greeter() = default;
    virtual std::string Greet(const std::string &whom) const = 0;
  };
}

TOVA_PLUGIN_INTERFACE_VERSION(consumer::Greeter, 1, 2);

#endif
