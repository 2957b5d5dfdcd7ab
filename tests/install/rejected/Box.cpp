// The manifest spells an unsigned template argument as the compiler does
// (Box<3>), the loader as the demangler does (Box<3u>): check reports both.
#include <tova/plugin/Register.hpp>

namespace rejected
{
  class Shape
  {
  public:
    virtual ~Shape() = default;
  };

  template <unsigned Sides>
  class Box : public Shape
  {
  };
}

TOVA_PLUGIN_REGISTER(rejected::Box<3u>, rejected::Shape);
