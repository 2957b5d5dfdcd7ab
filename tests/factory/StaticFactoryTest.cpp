#include <tova/plugin/Factory.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/ProductFactory.hpp>
#include <tova/plugin/RegisterStatic.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include <factory_fixture/Greeting.hpp>

namespace tp = tova::plugin;
using factory_fixture::Greeting;
using factory_fixture::GreetingFactory;

namespace app
{
  class Shout : public Greeting
  {
  public:
    explicit Shout(std::string name) : name(std::move(name)) {}

    std::string Text() const override { return this->name + "!!!"; }

  private:
    std::string name;
  };

  /// A product class that carries the counter base itself.
  class Whisper : public Greeting, public tp::detail::FactoryCounter
  {
  public:
    explicit Whisper(std::string name) : name(std::move(name)) {}

    std::string Text() const override { return "(" + this->name + ")"; }

  private:
    std::string name;
  };

  using ShoutFactory = tp::ProductFactory<Shout, GreetingFactory>;
  using WhisperFactory = tp::ProductFactory<Whisper, GreetingFactory>;
}

TOVA_PLUGIN_REGISTER_FACTORY_STATIC(app::Shout, GreetingFactory);
TOVA_PLUGIN_ALIASES_STATIC(app::ShoutFactory, "shout");
TOVA_PLUGIN_REGISTER_FACTORY_STATIC(app::Whisper, GreetingFactory);
TOVA_PLUGIN_ALIASES_STATIC(app::WhisperFactory, "whisper");

namespace
{
  struct StaticFactoryCase
  {
    const char *alias;
    const char *text;
  };

  class StaticFactoryTest : public testing::TestWithParam<StaticFactoryCase>
  {
  protected:
    void SetUp() override
    {
      tp::CleanupLostProducts();
    }
  };
}

TEST_P(StaticFactoryTest, ProductKeepsItsFactoryUntilCleanup)
{
  GreetingFactory::ProductPtr product;
  std::weak_ptr<void> factoryInstance;
  {
    tp::Loader loader;
    tp::PluginPtr factory = loader.Instantiate(GetParam().alias);
    factoryInstance = factory->PrivateGetInstancePtr();
    product = factory->QueryInterface<GreetingFactory>()->Construct("Ada");
  }
  EXPECT_FALSE(factoryInstance.expired());
  EXPECT_EQ(product->Text(), GetParam().text);

  product.reset();
  EXPECT_EQ(tp::LostProductCount(), 1u);
  EXPECT_FALSE(factoryInstance.expired());

  tp::CleanupLostProducts();
  EXPECT_EQ(tp::LostProductCount(), 0u);
  EXPECT_TRUE(factoryInstance.expired());
}

INSTANTIATE_TEST_SUITE_P(
    OwnOrInheritedCounter, StaticFactoryTest,
    testing::Values(StaticFactoryCase{"shout", "Ada!!!"},
                    StaticFactoryCase{"whisper", "(Ada)"}));

TEST(FactoryWithoutLoaderTest, ProductsHoldNothingAndParkNothing)
{
  tp::CleanupLostProducts();
  app::ShoutFactory factory;
  GreetingFactory &asInterface = factory;
  GreetingFactory::ProductPtr product = asInterface.Construct("Bo");
  EXPECT_EQ(product->Text(), "Bo!!!");

  product.reset();
  EXPECT_EQ(tp::LostProductCount(), 0u);
}
