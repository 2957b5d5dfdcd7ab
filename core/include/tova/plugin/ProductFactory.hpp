#ifndef TOVA_PLUGIN_PRODUCTFACTORY_HPP_
#define TOVA_PLUGIN_PRODUCTFACTORY_HPP_

/// \file
/// A ready-made factory plugin for a product class.
///
/// In a plugin library (after including Register.hpp):
/// \code
///   using ShapeFactory = tova::plugin::Factory<geo::Shape, double>;
///   TOVA_PLUGIN_REGISTER_FACTORY(geo::Circle, ShapeFactory);
///   using CircleFactory = tova::plugin::ProductFactory<geo::Circle,
///                                                      ShapeFactory>;
///   TOVA_PLUGIN_ALIASES(CircleFactory, "circle");
/// \endcode
/// In a program, for a factory linked into it (after including
/// RegisterStatic.hpp): `TOVA_PLUGIN_REGISTER_FACTORY_STATIC(geo::Circle,
/// ShapeFactory);`.
///
/// The application then makes products:
/// \code
///   tova::plugin::PluginPtr plugin = loader.Instantiate("circle");
///   auto product = plugin->QueryInterface<ShapeFactory>()->Construct(2.0);
/// \endcode
/// Each product holds the factory plugin's instance, and with it the
/// library, until it is destroyed and `CleanupLostProducts` has run.

#include <memory>
#include <type_traits>
#include <utility>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Factory.hpp>
#include <tova/plugin/detail/Export.hpp>

namespace tova::plugin
{
  namespace detail
  {
    // Hidden, so that every library keeps its own product classes.
    namespace registration TOVA_PLUGIN_HIDDEN
    {
      /// Stands in for the counter base of a product class that already
      /// derives from `FactoryCounter`.
      struct HasOwnCounter
      {
      };

      template <class Product>
      using CounterBaseOf =
          std::conditional_t<std::is_base_of_v<FactoryCounter, Product>,
                             HasOwnCounter, FactoryCounter>;

      /// A product class together with the reference that keeps its code
      /// loaded. The counter comes first, so it is destroyed last, after
      /// the product's own destructor.
      template <class Product>
      class CountedProduct final : public CounterBaseOf<Product>,
                                   public Product
      {
      public:
        template <class... Args>
        explicit CountedProduct(std::shared_ptr<void> reference,
                                Args &&...args)
          : Product(std::forward<Args>(args)...)
        {
          this->keepAlive = std::move(reference);
        }
      };
    }
  }

  /// \brief The factory plugin that makes `Product` objects for the factory
  /// interface `FactoryInterface` (a `Factory<Interface, Args...>`).
  template <class Product, class FactoryInterface>
  class ProductFactory;

  /// \brief The factory plugin for `Factory<Interface, Args...>`: its
  /// products are `Product` objects that keep this factory's instance, and
  /// with it the library, until a cleanup after their destruction.
  template <class Product, class Interface, class... Args>
  class TOVA_PLUGIN_HIDDEN ProductFactory<Product, Factory<Interface, Args...>>
    : public Factory<Interface, Args...>, public EnablePluginFromThis
  {
  public:
    static_assert(std::is_convertible_v<Product *, Interface *>,
                  "A product class must derive publicly from the factory's "
                  "product interface.");
    static_assert(std::is_constructible_v<Product, Args...>,
                  "A product class must be constructible from the "
                  "factory's arguments.");

    /// The owning pointer through which the application holds a product.
    using ProductPtr = typename Factory<Interface, Args...>::ProductPtr;

    /// \brief A new `Product` made from `args`, holding this factory's
    /// instance (none when the factory was made outside a loader).
    ProductPtr Construct(Args... args) override
    {
      return std::make_unique<detail::registration::CountedProduct<Product>>(
          this->PrivateInstancePtrFromThis(), std::forward<Args>(args)...);
    }
  };
}

/// Registers, in a plugin library, the factory plugin that makes `Product`
/// for a factory interface given next (which may contain commas).
#define TOVA_PLUGIN_REGISTER_FACTORY(Product, ...)                  \
  TOVA_PLUGIN_REGISTER(                                             \
      ::tova::plugin::ProductFactory<Product, __VA_ARGS__>, __VA_ARGS__)

/// Registers, in a program, the factory plugin that makes `Product` for a
/// factory interface given next (which may contain commas).
#define TOVA_PLUGIN_REGISTER_FACTORY_STATIC(Product, ...)           \
  TOVA_PLUGIN_REGISTER_STATIC(                                      \
      ::tova::plugin::ProductFactory<Product, __VA_ARGS__>, __VA_ARGS__)

#endif
