#ifndef TOVA_PLUGIN_BENCH_SHAPE_HPP_
#define TOVA_PLUGIN_BENCH_SHAPE_HPP_

namespace bench
{
  /// The interface that every generated plugin class implements.
  class Shape
  {
  public:
    virtual ~Shape() = default;

    /// The shape's area.
    virtual double area() const = 0;
  };

  /// A raw library's exported factory function for one shape class.
  using MakeShapeFunction = Shape *(*)();
}

#endif
