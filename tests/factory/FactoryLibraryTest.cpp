#include <tova/plugin/Factory.hpp>
#include <tova/plugin/Loader.hpp>
#include <tova/plugin/detail/TypeName.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <factory_fixture/Greeting.hpp>
#include <support/CapturedStderr.hpp>
#include <support/LibraryState.hpp>

namespace tp = tova::plugin;
using factory_fixture::Greeting;
using factory_fixture::GreetingFactory;
using factory_fixture::RepeatingFactory;

namespace
{
  template <class FactoryInterface>
  std::string ReadableName()
  {
    return tp::DemangleSymbol(tp::detail::TypeName<FactoryInterface>());
  }

  class FactoryLibraryTest : public testing::Test
  {
  protected:
    void SetUp() override
    {
      tp::CleanupLostProducts();
      ASSERT_FALSE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
    }

    void TearDown() override
    {
      tp::CleanupLostProducts();
    }

    /// A product of the "hello" factory, made through a loader that is gone
    /// again, with its library forgotten first.
    static GreetingFactory::ProductPtr HelloFromForgottenLibrary(
        const std::string &name)
    {
      tp::Loader loader;
      EXPECT_EQ(loader.LoadLib(TOVA_FACTORY_GREETINGS).size(), 2u);
      GreetingFactory::ProductPtr product;
      {
        tp::PluginPtr factory = loader.Instantiate("hello");
        product = factory->QueryInterface<GreetingFactory>()->Construct(name);
      }
      EXPECT_TRUE(loader.ForgetLibrary(TOVA_FACTORY_GREETINGS));
      return product;
    }
  };
}

TEST_F(FactoryLibraryTest, FactoriesArePluginsFoundByTheirInterface)
{
  tp::Loader loader;
  loader.LoadLib(TOVA_FACTORY_GREETINGS);

  const auto helloFactories =
      loader.PluginsImplementing(ReadableName<GreetingFactory>());
  ASSERT_EQ(helloFactories.size(), 1u);
  const std::string helloName = *helloFactories.begin();
  const std::string namePrefix =
      "tova::plugin::ProductFactory<factory_fixture::Hello, ";
  EXPECT_EQ(helloName.compare(0, namePrefix.size(), namePrefix), 0)
      << helloName;
  EXPECT_EQ(loader.LookupPlugin("hi"), helloName);
  EXPECT_EQ(loader.AliasesOfPlugin(helloName),
            (tp::Loader::NameSet{"hello", "hi"}));

  const auto echoFactories = loader.PluginsImplementing(
      tp::detail::TypeName<RepeatingFactory>(), false);
  ASSERT_EQ(echoFactories.size(), 1u);

  tp::PluginPtr hello = loader.Instantiate("hello");
  tp::PluginPtr echo = loader.Instantiate(*echoFactories.begin());
  EXPECT_EQ(hello->QueryInterface<GreetingFactory>()->Construct("Ada")->Text(),
            "Hello, Ada!");
  EXPECT_EQ(
      echo->QueryInterface<RepeatingFactory>()->Construct("hey", 3)->Text(),
      "hey hey hey");
}

TEST_F(FactoryLibraryTest, ProductOutlivesFactoryLoaderAndForgottenLibrary)
{
  GreetingFactory::ProductPtr product = HelloFromForgottenLibrary("Ada");

  EXPECT_TRUE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
  EXPECT_EQ(product->Text(), "Hello, Ada!");

  product.reset();
  EXPECT_EQ(tp::LostProductCount(), 1u);
  EXPECT_TRUE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));

  tp::CleanupLostProducts();
  EXPECT_EQ(tp::LostProductCount(), 0u);
  EXPECT_FALSE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
}

TEST_F(FactoryLibraryTest, LibraryStaysLoadedUntilItsLastProductIsCleanedUp)
{
  GreetingFactory::ProductPtr first = HelloFromForgottenLibrary("Ada");
  GreetingFactory::ProductPtr second = HelloFromForgottenLibrary("Bo");

  first.reset();
  tp::CleanupLostProducts();
  EXPECT_TRUE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
  EXPECT_EQ(second->Text(), "Hello, Bo!");

  second.reset();
  EXPECT_TRUE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
  tp::CleanupLostProducts();
  EXPECT_FALSE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
}

TEST_F(FactoryLibraryTest, AFactoryHeldOnlyByItsInterfaceMakesProductsSilently)
{
  std::shared_ptr<GreetingFactory> factory;
  {
    tp::Loader loader;
    loader.LoadLib(TOVA_FACTORY_GREETINGS);
    factory =
        loader.Instantiate("hello")->QueryInterfaceSharedPtr<GreetingFactory>();
  }
  // The factory's record is gone with the loader; its instance lives on.
  GreetingFactory::ProductPtr product;
  EXPECT_EQ(tova::test::StderrOf([&] { product = factory->Construct("Ada"); }),
            "");
  EXPECT_EQ(product->Text(), "Hello, Ada!");

  factory.reset();
  product.reset();
  EXPECT_TRUE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
  tp::CleanupLostProducts();
  EXPECT_FALSE(tova::test::IsLoaded(TOVA_FACTORY_GREETINGS));
}
