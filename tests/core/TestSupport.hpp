#ifndef TOVA_TESTS_CORE_TESTSUPPORT_HPP_
#define TOVA_TESTS_CORE_TESTSUPPORT_HPP_

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <tova/plugin/Info.hpp>
#include <tova/plugin/Plugin.hpp>
#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/TypeName.hpp>

namespace tova::test
{
  using tova::plugin::Info;
  using tova::plugin::Plugin;
  using tova::plugin::PluginPtr;
  using tova::plugin::detail::TypeName;

  /// Everything observable that the plugin objects of one test do. Declare
  /// it before every record and handle, so that it outlives them.
  struct Recorder
  {
    std::vector<std::string> events;
    int factoryCalls = 0;
    /// Calls of each cast function, by the interface's ABI type name.
    std::map<std::string, int> castCalls;
    std::thread::id deleterThread;
  };

  class InterfaceA
  {
  public:
    virtual ~InterfaceA() = default;
    virtual int ValueA() const = 0;
  };

  class InterfaceB
  {
  public:
    virtual ~InterfaceB() = default;
    virtual int ValueB() const = 0;
  };

  /// Not implemented by any test plugin.
  class InterfaceC
  {
  public:
    virtual ~InterfaceC() = default;
  };

  /// Derives from two interfaces, so that InterfaceB lies away from the
  /// object's own address.
  class Widget : public InterfaceA, public InterfaceB
  {
  public:
    explicit Widget(Recorder &) {}
    int ValueA() const override { return 1; }
    int ValueB() const override { return 2; }
  };

  template <class PluginClass, class Interface>
  void AddRecordedInterface(Info &info, Recorder &recorder)
  {
    const std::string key = TypeName<Interface>();
    info.interfaces[key] = [&recorder, key](void *object) -> void *
    {
      ++recorder.castCalls[key];
      return static_cast<Interface *>(static_cast<PluginClass *>(object));
    };
    info.demangledInterfaces.insert(tova::plugin::DemangleSymbol(key));
  }

  /// A record for `PluginClass` named "Widget" whose factory, deleter and
  /// cast functions report to `recorder`.
  template <class PluginClass, class... Interfaces>
  std::shared_ptr<Info> MakeRecordedInfo(Recorder &recorder)
  {
    auto info = std::make_shared<Info>();
    info->name = "Widget";
    info->factory = [&recorder]() -> void *
    {
      ++recorder.factoryCalls;
      recorder.events.push_back("factory");
      return new PluginClass(recorder);
    };
    info->deleter = [&recorder](void *object)
    {
      recorder.events.push_back("deleter");
      recorder.deleterThread = std::this_thread::get_id();
      delete static_cast<PluginClass *>(object);
    };
    (AddRecordedInterface<PluginClass, Interfaces>(*info, recorder), ...);
    return info;
  }

  /// A shared pointer whose last release adds `event` to the recorder.
  inline std::shared_ptr<void> MakeWitness(Recorder &recorder,
                                           std::string event)
  {
    return std::shared_ptr<void>(
        new int(0), [&recorder, event = std::move(event)](void *object)
        {
          recorder.events.push_back(event);
          delete static_cast<int *>(object);
        });
  }

  /// Stands in for a loader's library handle: its release is an event.
  inline std::shared_ptr<void> MakeFakeLibrary(Recorder &recorder)
  {
    return MakeWitness(recorder, "library released");
  }

  /// A handle to a new instance of a plugin from a (fake) library.
  inline PluginPtr CreateFromLibrary(const std::shared_ptr<const Info> &info,
                                     const std::shared_ptr<void> &library)
  {
    auto plugin = std::make_unique<Plugin>();
    plugin->PrivateCreatePluginInstance(info, library);
    return PluginPtr(std::move(plugin));
  }

  /// The plugin object a handle owns, as its class.
  template <class PluginClass>
  PluginClass *ObjectOf(const Plugin &plugin)
  {
    return static_cast<PluginClass *>(plugin.PrivateGetInstancePtr().get());
  }
}

#endif
