#ifndef CATALOG_FIXTURE_GREETER_HPP_
#define CATALOG_FIXTURE_GREETER_HPP_

#include <tova/plugin/InterfaceVersion.hpp>

// The interface of the catalog's fixtures. A fixture may be built against
// another version of it, as a plugin built with an older header would be.
#ifndef CATALOG_GREETER_MAJOR
#define CATALOG_GREETER_MAJOR 1
#endif
#ifndef CATALOG_GREETER_MINOR
#define CATALOG_GREETER_MINOR 2
#endif

namespace catalog_fixture
{
  class Greeter
  {
  public:
    virtual ~Greeter() = default;
    /// Which build of the plugin runs.
    virtual int Build() const = 0;
  };

  /// Implemented by no plugin that the tests ask for it.
  class Unused
  {
  public:
    virtual ~Unused() = default;
  };
}

TOVA_PLUGIN_INTERFACE_VERSION(catalog_fixture::Greeter, CATALOG_GREETER_MAJOR,
                              CATALOG_GREETER_MINOR);

#endif
