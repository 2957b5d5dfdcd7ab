#include <memory>
#include <string>

#include <shapes/Shape.hpp>
#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Register.hpp>

#include "Format.hpp"

namespace shapes
{
  class Square : public Shape, public Scalable
  {
  public:
    double Area() const override { return this->side * this->side; }

    std::string Describe() const override
    {
      return "square of side " + Format(this->side);
    }

    void Scale(double factor) override { this->side *= factor; }

  private:
    double side = 1.0;
  };

  // Asks for its own handle: deriving from EnablePluginFromThis is enough
  // for the registration to list it.
  class Counter : public Tally, public tova::plugin::EnablePluginFromThis
  {
  public:
    int Add(int amount) override
    {
      // Holding an owning handle to itself keeps the plugin (and this code)
      // alive for the rest of the call, whatever the caller drops meanwhile.
      const tova::plugin::PluginPtr self = this->PluginFromThis();
      this->total += amount;
      return self ? this->total : -1;
    }

  private:
    int total = 0;
  };
}

TOVA_PLUGIN_REGISTER(shapes::Square, shapes::Shape, shapes::Scalable);
TOVA_PLUGIN_ALIASES(shapes::Square, "square");
TOVA_PLUGIN_REGISTER(shapes::Counter, shapes::Tally);
TOVA_PLUGIN_ALIASES(shapes::Counter, "counter");
