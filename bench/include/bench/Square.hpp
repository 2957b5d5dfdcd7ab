#ifndef TOVA_PLUGIN_BENCH_SQUARE_HPP_
#define TOVA_PLUGIN_BENCH_SQUARE_HPP_

#include <bench/Shape.hpp>
#include <tova/plugin/Factory.hpp>

namespace bench
{
  /// The product that the factory benchmark makes.
  class Square : public Shape
  {
  public:
    double area() const override { return this->side * this->side; }

  private:
    double side = 2.0;
  };

  /// The factory interface through which the benchmark makes squares.
  using ShapeFactory = tova::plugin::Factory<Shape>;

  /// The alias under which the factory plugin is registered.
  inline constexpr const char *SquareFactoryAlias = "square-factory";
}

#endif
