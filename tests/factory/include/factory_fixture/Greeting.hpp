#ifndef FACTORY_FIXTURE_GREETING_HPP_
#define FACTORY_FIXTURE_GREETING_HPP_

#include <string>

#include <tova/plugin/Factory.hpp>

namespace factory_fixture
{
  /// The product interface of the factory tests.
  class Greeting
  {
  public:
    virtual ~Greeting() = default;
    virtual std::string Text() const = 0;
  };

  /// Makes a greeting for a name.
  using GreetingFactory = tova::plugin::Factory<Greeting, std::string>;

  /// Makes a greeting from a word and a count.
  using RepeatingFactory =
      tova::plugin::Factory<Greeting, const std::string &, int>;
}

#endif
