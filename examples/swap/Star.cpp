// A star shape, built in two editions: the swap example replaces the first
// with the second while the application runs.
#include <string>

#include <shapes/Shape.hpp>
#include <tova/plugin/Register.hpp>

namespace shapes
{
  class Star : public Shape
  {
  public:
    double Area() const override { return STAR_EDITION; }

    std::string Describe() const override
    {
      return "star, edition " + std::to_string(STAR_EDITION);
    }
  };
}

TOVA_PLUGIN_REGISTER(shapes::Star, shapes::Shape);
TOVA_PLUGIN_ALIASES(shapes::Star, "star");
