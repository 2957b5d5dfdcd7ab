#include <consumer/Counter.hpp>
#include <consumer/Greeter.hpp>
#include <tova/plugin/Register.hpp>

namespace consumer
{
  class Counting : public Greeter
  {
  public:
    std::string Greet(const std::string &whom) const override
    {
      return "greeting " + std::to_string(++GreetingCount()) + " for " + whom;
    }
  };
}

TOVA_PLUGIN_REGISTER(consumer::Counting, consumer::Greeter);
