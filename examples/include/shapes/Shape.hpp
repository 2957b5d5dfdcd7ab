#ifndef SHAPES_SHAPE_HPP_
#define SHAPES_SHAPE_HPP_

#include <string>

#include <tova/plugin/Factory.hpp>

// The interfaces that the application and the shape plugins share.
namespace shapes
{
  class Shape
  {
  public:
    virtual ~Shape() = default;
    virtual double Area() const = 0;
    virtual std::string Describe() const = 0;
  };

  class Scalable
  {
  public:
    virtual ~Scalable() = default;
    virtual void Scale(double factor) = 0;
  };

  /// Keeps a tally and can hand out an owning handle to itself.
  class Tally
  {
  public:
    virtual ~Tally() = default;
    virtual int Add(int amount) = 0;
  };

  /// Makes shapes of a given size.
  using ShapeFactory = tova::plugin::Factory<Shape, double>;
}

#endif
