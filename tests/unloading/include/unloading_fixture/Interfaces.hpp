#ifndef UNLOADING_FIXTURE_INTERFACES_HPP_
#define UNLOADING_FIXTURE_INTERFACES_HPP_

#include <functional>
#include <memory>

#include <tova/plugin/Factory.hpp>

// Interfaces of the plugin libraries that these tests unload.
namespace unloading_fixture
{
  /// Keeps itself alive with a handle to itself while it runs `callback`.
  class Pokable
  {
  public:
    virtual ~Pokable() = default;
    virtual void Poke(const std::function<void()> &callback) = 0;
  };

  /// A product that can be destroyed by its own code.
  class Disposable
  {
  public:
    virtual ~Disposable() = default;

    /// Destroys `*owner`, which must hold this product, then releases the
    /// lost products, all from within the product's library.
    virtual void DisposeOf(std::unique_ptr<Disposable> &owner) = 0;
  };

  using DisposableFactory = tova::plugin::Factory<Disposable>;

  /// Signature of `FixtureOnUnload`, which a library exports to have
  /// `callback(context)` run by its static destructors.
  using OnUnloadFunction = void (*)(void (*callback)(void *), void *context);
}

#endif
