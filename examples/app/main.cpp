// Loads the shape plugins and walks through what an application does with
// them, printing each step.

#include <dlfcn.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <shapes/Shape.hpp>
#include <tova/plugin/Factory.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/RegisterStatic.hpp>
#include <tova/plugin/WeakPluginPtr.hpp>

namespace app
{
  // A plugin linked into the program itself.
  class Point : public shapes::Shape
  {
  public:
    double Area() const override { return 0.0; }
    std::string Describe() const override { return "point"; }
  };
}

TOVA_PLUGIN_REGISTER_STATIC(app::Point, shapes::Shape);
TOVA_PLUGIN_ALIASES_STATIC(app::Point, "point");

namespace
{
  template <class Names>
  void PrintSorted(const std::string &heading, const Names &names)
  {
    std::vector<std::string> sorted(names.begin(), names.end());
    std::sort(sorted.begin(), sorted.end());
    std::cout << heading << " (" << sorted.size() << "):\n";
    for (const std::string &name : sorted)
      std::cout << "  " << name << "\n";
  }

  void PrintShape(const std::string &label,
                  const tova::plugin::PluginPtr &plugin)
  {
    const auto *shape = plugin->QueryInterface<shapes::Shape>();
    std::cout << label << ": " << *plugin->Name() << ", a "
              << shape->Describe() << ", area " << shape->Area() << "\n";
  }

  std::string LibraryState(const std::string &path)
  {
    void *const handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
      return "closed";
    dlclose(handle);
    return "loaded";
  }
}

int main(int argc, char **argv)
{
  if (argc != 2)
  {
    std::cerr << "Usage: " << argv[0] << " PLUGIN_LIBRARY\n";
    return 2;
  }
  const std::string library = argv[1];

  tova::plugin::Loader loader;
  const auto loaded = loader.LoadLib(library);
  if (loaded.empty())
    return 1;
  PrintSorted("Plugins in " + library, loaded);
  PrintSorted("All plugins, with the program's own", loader.AllPlugins());
  PrintSorted("Interfaces", loader.InterfacesImplemented());
  PrintSorted("Shapes", loader.PluginsImplementing("shapes::Shape"));

  tova::plugin::PluginPtr square = loader.Instantiate("shapes::Square");
  tova::plugin::PluginPtr circle = loader.Instantiate("round");
  PrintShape("By name", square);
  PrintShape("By alias 'round'", circle);
  PrintShape("Static plugin 'point'", loader.Instantiate("point"));

  square->QueryInterface<shapes::Scalable>()->Scale(3.0);
  PrintShape("Scaled by 3", square);

  tova::plugin::WeakPluginPtr weakCircle = circle;
  std::cout << "Weak handle to the circle expired: " << std::boolalpha
            << weakCircle.IsExpired() << "\n";
  circle = tova::plugin::PluginPtr();
  std::cout << "After dropping the circle, expired: "
            << weakCircle.IsExpired() << "\n";

  {
    // The counter hands out an owning handle to itself while it works.
    const tova::plugin::PluginPtr counter = loader.Instantiate("counter");
    auto *const tally = counter->QueryInterface<shapes::Tally>();
    tally->Add(2);
    std::cout << "Counter after adding 2 and 5: " << tally->Add(5) << "\n";
  }

  std::vector<shapes::ShapeFactory::ProductPtr> products;
  {
    const tova::plugin::PluginPtr factory =
        loader.Instantiate("circle-factory");
    for (double radius : {1.0, 2.0})
      products.push_back(
          factory->QueryInterface<shapes::ShapeFactory>()->Construct(radius));
  }
  for (const auto &product : products)
    std::cout << "Product: " << product->Describe() << ", area "
              << product->Area() << "\n";

  std::cout << "Forgetting the library while instances and products live: "
            << loader.ForgetLibrary(library) << "\n";
  PrintSorted("All plugins now", loader.AllPlugins());
  PrintShape("The square still works", square);
  square = tova::plugin::PluginPtr();
  std::cout << "Square dropped; library " << LibraryState(library) << "\n";

  products.clear();
  std::cout << "Products destroyed; parked references: "
            << tova::plugin::LostProductCount() << "; library "
            << LibraryState(library) << "\n";
  tova::plugin::CleanupLostProducts();
  std::cout << "After cleanup; parked references: "
            << tova::plugin::LostProductCount() << "; library "
            << LibraryState(library) << "\n";
  return 0;
}
