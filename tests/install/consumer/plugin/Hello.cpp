#include <consumer/Greeter.hpp>
#include <tova/plugin/Register.hpp>

namespace consumer
{
  class Hello : public Greeter
  {
  public:
    std::string Greet(const std::string &whom) const override
    {
      return "hello, " + whom;
    }
  };
}

TOVA_PLUGIN_REGISTER(consumer::Hello, consumer::Greeter);
TOVA_PLUGIN_ALIASES(consumer::Hello, "hello");
TOVA_PLUGIN_METADATA(consumer::Hello, "language", "en");
TOVA_PLUGIN_LIBRARY_METADATA("version", "1.0.0");
TOVA_PLUGIN_LIBRARY_METADATA("license", "MIT");
