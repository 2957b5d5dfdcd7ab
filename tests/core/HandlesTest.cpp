#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/WeakPluginPtr.hpp>

#include <support/CapturedStderr.hpp>

#include "TestSupport.hpp"

namespace tova::test
{
  namespace
  {
    using tova::plugin::ConstPluginPtr;
    using tova::plugin::WeakPluginPtr;
    using Events = std::vector<std::string>;

    const Events kCreated{"factory"};
    const Events kDestroyed{"factory", "deleter", "library released"};

    const std::string kCopyWithoutInfoMessage =
        "[Plugin::Implementation::Copy(_info, _instance)] A Plugin has been "
        "copied from its info and instance, but the info was null even "
        "though the instance was valid. This should never happen! Please "
        "report this bug!\n";

    class HandlesTest : public testing::Test
    {
    protected:
      /// Holds the events of every plugin object in the test; outlives them.
      Recorder recorder;
      std::shared_ptr<const Info> info =
          MakeRecordedInfo<Widget, InterfaceA, InterfaceB>(recorder);

      PluginPtr Create()
      {
        return CreateFromLibrary(this->info, MakeFakeLibrary(this->recorder));
      }

      int CastCalls() const
      {
        int calls = 0;
        for (const auto &entry : this->recorder.castCalls)
          calls += entry.second;
        return calls;
      }
    };

    /// True when `handle` holds no instance, by every test it offers.
    template <class Handle>
    void ExpectNoInstance(const Handle &handle)
    {
      EXPECT_TRUE(handle.IsEmpty());
      EXPECT_FALSE(handle);
      EXPECT_EQ(handle->PrivateGetInstancePtr(), nullptr);
      EXPECT_EQ(handle->template QueryInterface<InterfaceA>(), nullptr);
      EXPECT_EQ(handle.InstanceAddress(), nullptr);
    }
  }

  TEST_F(HandlesTest, DefaultHandleOwnsAnEmptyPlugin)
  {
    const PluginPtr handle;
    ExpectNoInstance(handle);
    EXPECT_EQ(handle->Name(), nullptr);
    EXPECT_EQ(handle, PluginPtr());
  }

  TEST_F(HandlesTest, CopiesShareOneInstanceWithoutRecomputing)
  {
    PluginPtr original = Create();
    ASSERT_FALSE(original.IsEmpty());
    ASSERT_TRUE(original);
    {
      const PluginPtr copy = original;
      PluginPtr assigned;
      assigned = copy;
      EXPECT_NE(&*copy, &*original);
      EXPECT_EQ(copy, original);
      EXPECT_EQ(assigned, original);
      EXPECT_EQ(copy.InstanceAddress(), original.InstanceAddress());
      EXPECT_EQ(assigned->QueryInterface<InterfaceB>(),
                original->QueryInterface<InterfaceB>());
      EXPECT_EQ(CastCalls(), 2);
    }
    EXPECT_EQ(recorder.events, kCreated);
    original = PluginPtr();
    EXPECT_EQ(recorder.events, kDestroyed);
  }

  TEST_F(HandlesTest, ConstHandleSharesTheInstance)
  {
    PluginPtr original = Create();
    const ConstPluginPtr readOnly = original;
    EXPECT_EQ(readOnly, original);
    EXPECT_EQ(original, readOnly);
    EXPECT_EQ(readOnly->QueryInterface<InterfaceA>(),
              original->QueryInterface<InterfaceA>());
    EXPECT_EQ(readOnly->QueryInterface<InterfaceB>()->ValueB(), 2);
    EXPECT_TRUE(readOnly->HasInterface<InterfaceA>());
    EXPECT_EQ(CastCalls(), 2);

    original = PluginPtr();
    EXPECT_EQ(recorder.events, kCreated);
    EXPECT_NE(readOnly->QueryInterfaceSharedPtr<InterfaceA>(), nullptr);
  }

  TEST_F(HandlesTest, HandlesOfDifferentInstancesDiffer)
  {
    const PluginPtr first = Create();
    const PluginPtr second = Create();
    EXPECT_NE(first, second);
    EXPECT_NE(first, PluginPtr());
    EXPECT_TRUE(first < second || second < first);
    EXPECT_FALSE(first < first);
  }

  TEST_F(HandlesTest, HandlesServeAsKeys)
  {
    const PluginPtr first = Create();
    const PluginPtr second = Create();
    const PluginPtr firstAgain = first;

    const std::set<PluginPtr> ordered{first, second, firstAgain};
    const std::unordered_set<PluginPtr> hashed{first, second, firstAgain};

    EXPECT_EQ(ordered.size(), 2u);
    EXPECT_EQ(hashed.size(), 2u);
    EXPECT_EQ(ordered.count(firstAgain), 1u);
    EXPECT_EQ(hashed.count(firstAgain), 1u);
    EXPECT_EQ(hashed.count(PluginPtr()), 0u);
  }

  TEST_F(HandlesTest, MovingHandsOverThePlugin)
  {
    PluginPtr source = Create();
    const void *const address = source.InstanceAddress();

    PluginPtr moved(std::move(source));
    EXPECT_EQ(moved.InstanceAddress(), address);

    PluginPtr target = Create();
    target = std::move(moved);
    EXPECT_EQ(target.InstanceAddress(), address);
    EXPECT_EQ(recorder.events,
              (Events{"factory", "factory", "deleter", "library released"}));

    // Moved-from handles can be assigned to again.
    source = target;
    EXPECT_EQ(source, target);
  }

  TEST_F(HandlesTest, DefaultWeakHandleIsExpired)
  {
    const WeakPluginPtr weak;
    EXPECT_TRUE(weak.IsExpired());
    const PluginPtr locked = weak.Lock();
    ExpectNoInstance(locked);
    EXPECT_EQ(locked->Name(), nullptr);
  }

  TEST_F(HandlesTest, WeakHandleOfAnEmptyHandleIsExpired)
  {
    const WeakPluginPtr weak(PluginPtr{});
    EXPECT_TRUE(weak.IsExpired());
    ExpectNoInstance(weak.Lock());
  }

  TEST_F(HandlesTest, WeakHandleFollowsTheInstance)
  {
    PluginPtr owner = Create();
    const WeakPluginPtr weak(owner);
    EXPECT_FALSE(weak.IsExpired());
    EXPECT_EQ(CastCalls(), 2);

    {
      const PluginPtr locked = weak.Lock();
      EXPECT_EQ(locked, owner);
      EXPECT_EQ(CastCalls(), 4);
      EXPECT_EQ(locked->QueryInterface<InterfaceB>(),
                owner->QueryInterface<InterfaceB>());
      ASSERT_NE(locked->Name(), nullptr);
      EXPECT_EQ(*locked->Name(), "Widget");
    }

    owner = PluginPtr();
    EXPECT_EQ(recorder.events, kDestroyed);
    EXPECT_TRUE(weak.IsExpired());

    // The Info still lives, so the locked handle keeps only that.
    const PluginPtr locked = weak.Lock();
    ExpectNoInstance(locked);
    ASSERT_NE(locked->Name(), nullptr);
    EXPECT_EQ(*locked->Name(), "Widget");
  }

  TEST_F(HandlesTest, WeakHandleExpiresWithTheInfo)
  {
    WeakPluginPtr weak(Create());
    info.reset();
    EXPECT_EQ(recorder.events, kDestroyed);
    EXPECT_TRUE(weak.IsExpired());
    const PluginPtr locked = weak.Lock();
    ExpectNoInstance(locked);
    EXPECT_EQ(locked->Name(), nullptr);
  }

  TEST_F(HandlesTest, TwoLocksShareTheInstanceWithTheOwner)
  {
    PluginPtr owner = Create();
    const WeakPluginPtr weak = owner;
    PluginPtr first = weak.Lock();
    PluginPtr second = weak.Lock();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, owner);

    owner = PluginPtr();
    first = PluginPtr();
    EXPECT_EQ(recorder.events, kCreated);
    second = PluginPtr();
    EXPECT_EQ(recorder.events, kDestroyed);
  }

  TEST_F(HandlesTest, WeakCopiesAndMovesObserveTheSameInstance)
  {
    const PluginPtr owner = Create();
    auto source = std::make_unique<WeakPluginPtr>(owner);

    const WeakPluginPtr copied(*source);
    WeakPluginPtr assigned;
    assigned = *source;
    source.reset();
    EXPECT_EQ(copied.Lock(), owner);
    EXPECT_EQ(assigned.Lock(), owner);

    WeakPluginPtr a = owner;
    WeakPluginPtr b;
    b = std::move(a);
    EXPECT_EQ(b.Lock(), owner);
    WeakPluginPtr c(std::move(b));
    EXPECT_EQ(c.Lock(), owner);

    // A moved-from weak handle can be the target of a move assignment.
    a = std::move(c);
    EXPECT_EQ(a.Lock(), owner);
  }

  TEST_F(HandlesTest, WeakHandleCanBeRetargeted)
  {
    const PluginPtr first = Create();
    const PluginPtr second = Create();
    WeakPluginPtr weak = first;
    weak = second;
    EXPECT_EQ(weak.Lock(), second);
    weak = WeakPluginPtr();
    EXPECT_TRUE(weak.IsExpired());
  }

  TEST_F(HandlesTest, WeakHandleKeepsNothingAlive)
  {
    WeakPluginPtr weak;
    {
      const PluginPtr owner = Create();
      weak = owner;
      info.reset();
    }
    EXPECT_EQ(recorder.events, kDestroyed);
    EXPECT_TRUE(weak.IsExpired());
    ExpectNoInstance(weak.Lock());
  }

  TEST_F(HandlesTest, InstanceKeptWithoutInfoLocksWithAMessage)
  {
    WeakPluginPtr weak;
    std::shared_ptr<void> instance;
    {
      const PluginPtr owner = Create();
      weak = owner;
      instance = owner->PrivateGetInstancePtr();
    }
    info.reset();
    EXPECT_EQ(recorder.events, kCreated);

    EXPECT_EQ(StderrOf([&] { EXPECT_TRUE(weak.IsExpired()); }), "");

    PluginPtr locked;
    EXPECT_EQ(StderrOf([&] { locked = weak.Lock(); }), kCopyWithoutInfoMessage);
    EXPECT_EQ(locked->PrivateGetInstancePtr(), instance);
    EXPECT_EQ(locked->PrivateGetInfoPtr(), nullptr);
    EXPECT_EQ(locked->QueryInterface<InterfaceA>(), nullptr);
    EXPECT_EQ(locked->Name(), nullptr);
  }
}
