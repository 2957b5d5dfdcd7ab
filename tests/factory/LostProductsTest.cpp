#include <tova/plugin/Factory.hpp>

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tp = tova::plugin;

namespace
{
  /// A product as a hand-written factory would make it.
  class Product : public tp::detail::FactoryCounter
  {
  public:
    explicit Product(std::shared_ptr<void> reference)
    {
      this->keepAlive = std::move(reference);
    }
  };

  /// Referents that note, in order, when their last owner lets go.
  class ReleaseLog
  {
  public:
    std::shared_ptr<void> Referent(int id)
    {
      return std::shared_ptr<int>(new int(id), [this](int *value) {
        std::lock_guard<std::mutex> lock(this->mutex);
        this->order.push_back(*value);
        delete value;
      });
    }

    std::vector<int> Order()
    {
      std::lock_guard<std::mutex> lock(this->mutex);
      return this->order;
    }

  private:
    std::mutex mutex;
    std::vector<int> order;
  };

  /// Owns a product, so that releasing the holder destroys that product.
  struct ProductHolder
  {
    std::unique_ptr<Product> product;
  };

  std::shared_ptr<void> HolderOf(std::shared_ptr<void> innerReference)
  {
    auto holder = std::make_shared<ProductHolder>();
    holder->product = std::make_unique<Product>(std::move(innerReference));
    return holder;
  }

  class LostProductsTest : public testing::Test
  {
  protected:
    void SetUp() override
    {
      tp::CleanupLostProducts();
      ASSERT_EQ(tp::LostProductCount(), 0u);
    }

    // The log must outlive every referent that notes into it.
    void TearDown() override
    {
      tp::CleanupLostProducts();
    }

    ReleaseLog log;
  };
}

TEST_F(LostProductsTest, ParksReferencesAndReleasesThemInDestructionOrder)
{
  auto first = std::make_unique<Product>(this->log.Referent(1));
  auto second = std::make_unique<Product>(this->log.Referent(2));
  auto third = std::make_unique<Product>(this->log.Referent(3));

  { Product withoutReference(nullptr); }
  EXPECT_EQ(tp::LostProductCount(), 0u);

  second.reset();
  third.reset();
  first.reset();
  EXPECT_EQ(tp::LostProductCount(), 3u);
  EXPECT_TRUE(this->log.Order().empty());

  tp::CleanupLostProducts(std::chrono::nanoseconds::zero());
  EXPECT_EQ(tp::LostProductCount(), 0u);
  EXPECT_EQ(this->log.Order(), (std::vector<int>{2, 3, 1}));

  tp::CleanupLostProducts(std::chrono::milliseconds(1));
  EXPECT_EQ(tp::LostProductCount(), 0u);
  EXPECT_EQ(this->log.Order(), (std::vector<int>{2, 3, 1}));
}

TEST_F(LostProductsTest, CopyOfAProductParksItsOwnReference)
{
  {
    Product original(this->log.Referent(1));
    Product copy(original);
    Product assigned(nullptr);
    assigned = original;
  }
  EXPECT_EQ(tp::LostProductCount(), 3u);
  EXPECT_TRUE(this->log.Order().empty());

  tp::CleanupLostProducts();
  EXPECT_EQ(this->log.Order(), std::vector<int>{1});
}

TEST_F(LostProductsTest, ReleaseThatDestroysAProductParksItForTheNextCleanup)
{
  { Product outer(HolderOf(this->log.Referent(2))); }
  EXPECT_EQ(tp::LostProductCount(), 1u);

  tp::CleanupLostProducts();
  EXPECT_EQ(tp::LostProductCount(), 1u);
  EXPECT_TRUE(this->log.Order().empty());

  tp::CleanupLostProducts();
  EXPECT_EQ(tp::LostProductCount(), 0u);
  EXPECT_EQ(this->log.Order(), std::vector<int>{2});
}

namespace
{
  std::atomic<int> signalsHandled{0};

  void CountSignal(int)
  {
    ++signalsHandled;
  }
}

TEST_F(LostProductsTest, WaitLastsTheWholeSafetyWaitWhenSignalsInterruptIt)
{
  struct sigaction action{};
  action.sa_handler = &CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the sleep is interrupted
  struct sigaction previous{};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

  { Product parked(this->log.Referent(1)); }
  const pthread_t waiter = pthread_self();
  std::atomic<bool> waiting{true};
  std::thread sender([&] {
    while (waiting)
    {
      pthread_kill(waiter, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });

  const auto start = std::chrono::steady_clock::now();
  tp::CleanupLostProducts(std::chrono::milliseconds(50));
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  waiting = false;
  sender.join();
  sigaction(SIGUSR1, &previous, nullptr);

  EXPECT_GE(elapsed.count(), 50.0);
  EXPECT_GT(signalsHandled.load(), 0);
  EXPECT_EQ(this->log.Order(), std::vector<int>{1});
  EXPECT_EQ(tp::LostProductCount(), 0u);
}

TEST_F(LostProductsTest, ConcurrentDestructionAndCleanupReleaseEveryReferenceOnce)
{
  constexpr int producerCount = 4;
  constexpr int productsPerProducer = 250;
  std::vector<std::atomic<int>> releases(producerCount * productsPerProducer);
  const auto referent = [&releases](int id) {
    return std::shared_ptr<int>(new int(id), [&releases](int *value) {
      ++releases[*value];
      delete value;
    });
  };

  std::atomic<bool> producing{true};
  std::thread cleaner([&producing] {
    while (producing)
      tp::CleanupLostProducts();
  });
  std::vector<std::thread> producers;
  for (int producer = 0; producer < producerCount; ++producer)
  {
    producers.emplace_back([&referent, producer] {
      for (int index = 0; index < productsPerProducer; ++index)
        Product product(referent(producer * productsPerProducer + index));
    });
  }
  for (std::thread &producer : producers)
    producer.join();
  producing = false;
  cleaner.join();
  tp::CleanupLostProducts();

  EXPECT_EQ(tp::LostProductCount(), 0u);
  std::vector<int> notReleasedOnce;
  for (std::size_t id = 0; id < releases.size(); ++id)
  {
    if (releases[id] != 1)
      notReleasedOnce.push_back(static_cast<int>(id));
  }
  EXPECT_EQ(notReleasedOnce, std::vector<int>{});
}

namespace
{
  std::shared_ptr<void> Announcing(const char *name)
  {
    return std::shared_ptr<int>(new int(0), [name](int *value) {
      std::fprintf(stderr, "released %s\n", name);
      delete value;
    });
  }
}

TEST(LostProductsAtExitTest, ParkedReferencesAreReleasedWhenTheProcessExits)
{
  EXPECT_EXIT(
      {
        { Product first(Announcing("first")); }
        {
          std::shared_ptr<void> holder = HolderOf(Announcing("inner"));
          Product second(std::shared_ptr<void>(
              holder.get(), [holder](void *) mutable {
                std::fprintf(stderr, "released holder\n");
                holder.reset();
              }));
        }
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "^released first\nreleased holder\nreleased inner\n$");
}
