// Runs the statements that the guides show, in the order they show them,
// against the plugin library that the guides show how to write, and checks
// that they do what the text around them says.

// First the #include lines of the blocks themselves: a block that uses a
// header it does not include is caught unless an earlier block did.
#include "getting-started/loading.inc.includes"
#include "getting-started/instances.inc.includes"
#include "getting-started/dangling.inc.includes"
#include "getting-started/weak.inc.includes"
#include "getting-started/unloading.inc.includes"
#include "getting-started/factories.inc.includes"
#include "getting-started/cleanup.inc.includes"
#include "lifetimes/never-unload.inc.includes"
#include "lifetimes/misuse.inc.includes"
#include "lifetimes/cleanup.inc.includes"
#include "readme/lookup.inc.includes"
#include "manifest/reading.inc.includes"
#include "catalog/using.inc.includes"
#include "catalog/refresh.inc.includes"

#include <iostream>
#include <string>
#include <vector>

#include <tova/plugin/Messages.hpp>

#include "DocInterfaces.hpp"
#include "binary-contract/hook.hpp"
#include "geo/Shape.hpp"
#include "manifest/version.hpp"
#include "lifetimes/Counter.hpp"
#include "writing-plugins/ShapeFactory.hpp"

namespace app
{
  class Log
  {
  public:
    virtual ~Log() = default;
    virtual void Write(const std::string &line) = 0;
  };

  class ConsoleLog : public Log
  {
  public:
    void Write(const std::string &line) override { std::cout << line << "\n"; }
  };
}

#include "writing-plugins/static.cpp"

namespace
{
  int failures = 0;

  void Expect(bool condition, const char *what)
  {
    if (condition)
      return;
    std::cerr << "not as documented: " << what << "\n";
    ++failures;
  }

  void GettingStarted()
  {
#include "getting-started/loading.inc"
    Expect(names.empty(), "a library that is not there loads nothing");
    // The same plugins, from where the tests built them.
    loader.LoadLib(TOVA_DOCS_PLUGINS);

    bool instancesShown = false;
    // A lambda, since the block may return.
    [&]
    {
#include "getting-started/instances.inc"
      Expect(area != nullptr && scalable && *name == "geo::Circle",
             "circle is a geo::Circle, a Shape and Scalable");
      {
#include "getting-started/dangling.inc"
        Expect(shape && owned && area > 3.14, "the safe forms give a circle");
      }
      {
#include "getting-started/weak.inc"
        Expect(weak.IsExpired() && !weak.Lock(), "the weak handle expired");
      }
      instancesShown = true;
    }();
    Expect(instancesShown, "circle instantiates");

#include "getting-started/unloading.inc"
    Expect(loader.LookupPlugin("geo::Circle").empty(), "the library is forgotten");
    loader.LoadLib(TOVA_DOCS_PLUGINS);
    {
#include "getting-started/factories.inc"
      Expect(circle && circle->Area() > 12.5, "a factory product of radius 2");
    }
#include "getting-started/cleanup.inc"
    Expect(waiting == 0, "no parked reference after the cleanup");
  }

  void WritingPlugins()
  {
    tova::plugin::Loader loader;
    Expect(loader.Instantiate("console")->QueryInterface<app::Log>() != nullptr,
           "the static plugin is found by its alias");
    loader.LoadLib(TOVA_DOCS_PLUGINS);
    Expect(loader.LookupPlugin("disc") == "geo::Circle", "disc names the circle");
    const tova::plugin::PluginPtr counter = loader.Instantiate("Counter");
    Expect(counter->QueryInterface<Tally>()->Add(2) == 2 &&
               counter->QueryInterface<Tally>()->Add(3) == 5,
           "the counter adds up");
  }

  void Lifetimes()
  {
    tova::plugin::Loader loader;
    const std::string path = TOVA_DOCS_PLUGINS;
#include "lifetimes/never-unload.inc"
    std::vector<geo::ShapeFactory::ProductPtr> products;
    products.push_back(loader.Instantiate("circle-factory")
                           ->QueryInterface<geo::ShapeFactory>()
                           ->Construct(1.0));
#include "lifetimes/cleanup.inc"
    Expect(tova::plugin::LostProductCount() == 0, "the product's reference is released");
    Counter kept{loader.Instantiate("circle"), [] { return 1; }};
    Expect(kept.plugin && kept.next() == 1, "a handle kept beside a function");
  }

  // Shown as a misuse that crashes: compiled, never run.
  [[maybe_unused]] void LifetimesMisuse()
  {
#include "lifetimes/misuse.inc"
  }

  void BinaryContract()
  {
    tova::plugin::Loader loader;
    Expect(loader.LoadLib(TOVA_DOCS_HAND_HOOK) ==
               tova::plugin::Loader::PluginNameSet{"sound::Beep"},
           "the hand-written hook hands over sound::Beep");
    Expect(loader.Instantiate("beep")->HasInterface("sound::Sound"),
           "beep is a sound::Sound");
  }

  void Manifest()
  {
    const std::string path = TOVA_DOCS_PLUGINS;
    // A lambda, since the block may return.
    [&]
    {
#include "manifest/reading.inc"
    }();
    const auto read = tova::plugin::ReadManifest(path);
    const auto *manifest = std::get_if<tova::plugin::Manifest>(&read);
    Expect(manifest && manifest->metadata.count("license") == 1,
           "the library's metadata is in its manifest");
  }

  void Catalog()
  {
    const std::string library = TOVA_DOCS_PLUGINS;
    const std::string directory = library.substr(0, library.rfind('/'));
#include "catalog/using.inc"
    Expect(shape && catalog.IsLoaded("circle"),
           "the catalog creates a compatible shape and loads its library");
#include "catalog/refresh.inc"
    Expect(changes.replaced.empty() && catalog.IsLoaded("circle"),
           "an unchanged library stays loaded across a refresh");
  }

  void Readme(const std::string &name)
  {
    tova::plugin::Loader loader;
    loader.LoadLib(TOVA_DOCS_PLUGINS);
#include "readme/lookup.inc"
    Expect(static_cast<bool>(plugin), "a name that LookupPlugin finds instantiates");
  }
}

int main()
{
  // The guides load a library that is not there, on purpose; its message
  // is no failure here.
  tova::plugin::SetMessageHandler([](const tova::plugin::Message &) {});
  GettingStarted();
  WritingPlugins();
  Lifetimes();
  BinaryContract();
  Manifest();
  Catalog();
  Readme("circle");
  return failures == 0 ? 0 : 1;
}
