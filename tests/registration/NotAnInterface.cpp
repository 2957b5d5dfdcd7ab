// Must not compile: the class does not derive from the interface it lists.
#include <fixture/Shape.hpp>
#include <tova/plugin/Register.hpp>

namespace fixture
{
  class Impostor : public Printable
  {
  public:
    std::string Print() const override { return "impostor"; }
  };
}

TOVA_PLUGIN_REGISTER(fixture::Impostor, fixture::Shape);
