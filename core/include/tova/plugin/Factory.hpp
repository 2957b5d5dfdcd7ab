#ifndef TOVA_PLUGIN_FACTORY_HPP_
#define TOVA_PLUGIN_FACTORY_HPP_

/// \file
/// Factories that plugins offer, and the products they make.
///
/// A product keeps the library whose code it runs loaded through the
/// reference in its `detail::FactoryCounter`. When the product is destroyed
/// that reference is parked rather than released, so no library is closed
/// while the product's destructor is still running; the application
/// releases the parked references with `CleanupLostProducts` at a time of
/// its choosing.

#include <chrono>
#include <cstddef>
#include <memory>
#include <type_traits>

#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  /// \brief The interface of a factory that makes products implementing
  /// `Interface` from arguments of the types `Args`.
  ///
  /// Plugins offer it (see ProductFactory.hpp); the application finds them
  /// with `Loader::PluginsImplementing`, queries this interface and calls
  /// `Construct`.
  template <class Interface, class... Args>
  class Factory
  {
  public:
    static_assert(std::has_virtual_destructor_v<Interface>,
                  "A product interface needs a virtual destructor, since "
                  "products are deleted through it.");

    /// The interface that every product implements.
    using ProductInterface = Interface;

    /// The owning pointer through which the application holds a product.
    using ProductPtr = std::unique_ptr<Interface>;

    virtual ~Factory() = default;

    /// \brief Makes a new product from `args`.
    virtual ProductPtr Construct(Args... args) = 0;
  };

  namespace detail
  {
    /// \brief Base of every factory product: holds the reference that keeps
    /// the product's library loaded, and parks it when the product goes.
    class TOVA_PLUGIN_EXPORT FactoryCounter
    {
    public:
      /// A counter without a reference, until the factory gives it one.
      FactoryCounter() = default;

      /// A copy of a product runs the same code, so it shares the reference.
      FactoryCounter(const FactoryCounter &) = default;
      /// Shares the source's reference in place of its own.
      FactoryCounter &operator=(const FactoryCounter &) = default;

      /// Appends a copy of `keepAlive`, if it holds anything, to the
      /// process-wide list of lost products, then lets go of it.
      virtual ~FactoryCounter();

    protected:
      /// What the product's code needs while the product exists, typically
      /// the instance of the factory plugin that made it. May be empty.
      std::shared_ptr<void> keepAlive;
    };
  }

  /// \brief The number of references parked by destroyed products and not
  /// yet released.
  TOVA_PLUGIN_EXPORT std::size_t LostProductCount();

  /// \brief Waits for `safetyWait`, then releases every reference parked so
  /// far, in the order in which their products were destroyed.
  ///
  /// Products destroyed during the wait or by those releases are parked for
  /// the next cleanup. A zero or negative wait does not sleep.
  TOVA_PLUGIN_EXPORT void CleanupLostProducts(
      const std::chrono::nanoseconds &safetyWait =
          std::chrono::nanoseconds::zero());
}

#endif
