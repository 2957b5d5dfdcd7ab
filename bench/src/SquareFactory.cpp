#include <bench/Square.hpp>
#include <tova/plugin/ProductFactory.hpp>
#include <tova/plugin/Register.hpp>

TOVA_PLUGIN_REGISTER_FACTORY(bench::Square, bench::ShapeFactory);

using SquareFactory =
    tova::plugin::ProductFactory<bench::Square, bench::ShapeFactory>;
TOVA_PLUGIN_ALIASES(SquareFactory, bench::SquareFactoryAlias);
