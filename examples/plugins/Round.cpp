#include <string>

#include <shapes/Shape.hpp>
#include <tova/plugin/ProductFactory.hpp>
#include <tova/plugin/Register.hpp>

#include "Format.hpp"

namespace shapes
{
  class Circle : public Shape, public Scalable
  {
  public:
    Circle() = default;
    explicit Circle(double radius) : radius(radius) {}

    double Area() const override { return 3.14159265358979 * radius * radius; }

    std::string Describe() const override
    {
      return "circle of radius " + Format(this->radius);
    }

    void Scale(double factor) override { this->radius *= factor; }

  private:
    double radius = 1.0;
  };
}

TOVA_PLUGIN_REGISTER(shapes::Circle, shapes::Shape, shapes::Scalable);
TOVA_PLUGIN_ALIASES(shapes::Circle, "circle", "round");

// A factory plugin that makes circles of a given radius.
TOVA_PLUGIN_REGISTER_FACTORY(shapes::Circle, shapes::ShapeFactory);
using CircleFactory =
    tova::plugin::ProductFactory<shapes::Circle, shapes::ShapeFactory>;
TOVA_PLUGIN_ALIASES(CircleFactory, "circle-factory");
