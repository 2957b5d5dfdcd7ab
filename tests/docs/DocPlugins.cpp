// The plugin library of the guides: the blocks of writing-plugins.md, on the
// interfaces of getting-started.md.
#include "writing-plugins/Circle.cpp"
#include "writing-plugins/aliases.cpp"

#include "writing-plugins/ShapeFactory.hpp"
#include "writing-plugins/factory.cpp"

#include "DocInterfaces.hpp"
#include "writing-plugins/Counter.cpp"
