#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/PluginPtr.hpp>
#include <tova/plugin/detail/InfoBuilder.hpp>

#include <support/CapturedStderr.hpp>

#include "TestSupport.hpp"

namespace tova::test
{
  namespace
  {
    using tova::plugin::ConstPluginPtr;
    using tova::plugin::EnablePluginFromThis;
    using Events = std::vector<std::string>;

    const std::string kCopyWithoutInfoMessage =
        "[Plugin::Implementation::Copy(_info, _instance)] A Plugin has been "
        "copied from its info and instance, but the info was null even "
        "though the instance was valid. This should never happen! Please "
        "report this bug!\n";

    /// Asks for itself while it is being built and destroyed. The
    /// self-reference part does not lie at the object's own address.
    class SelfAware : public InterfaceA, public EnablePluginFromThis
    {
    public:
      explicit SelfAware(Recorder &_recorder)
        : recorder(_recorder)
      {
        this->recorder.events.push_back(this->Requests("constructor"));
      }

      ~SelfAware() override
      {
        this->recorder.events.push_back(this->Requests("destructor"));
      }

      int ValueA() const override { return 3; }

    private:
      std::string Requests(const std::string &where)
      {
        const PluginPtr plugin = this->PluginFromThis();
        const ConstPluginPtr readOnly = std::as_const(*this).PluginFromThis();
        const std::shared_ptr<void> instance =
            this->PluginInstancePtrFromThis();
        const bool none = plugin.IsEmpty() && readOnly.IsEmpty() && !instance;
        return where + (none ? " sees no instance" : " sees an instance");
      }

      Recorder &recorder;
    };

    class BuiltByRegistration : public InterfaceA, public EnablePluginFromThis
    {
    public:
      int ValueA() const override { return 4; }
    };

    const Events kLifetime{"factory", "constructor sees no instance",
                           "deleter", "destructor sees no instance",
                           "library released"};

    /// Creates a plugin and wires its self-reference as the loader does.
    PluginPtr Instantiate(const std::shared_ptr<const Info> &info,
                          const std::shared_ptr<void> &library)
    {
      PluginPtr plugin = CreateFromLibrary(info, library);
      void *const self = plugin->PrivateQueryInterface(
          TypeName<EnablePluginFromThis>());
      if (self)
        static_cast<EnablePluginFromThis *>(self)->PrivateSetPluginFromThis(
            plugin);
      return plugin;
    }

    class SelfReferenceTest : public testing::Test
    {
    protected:
      /// Holds the events of every plugin object in the test; outlives them.
      Recorder recorder;
      std::shared_ptr<const Info> info =
          MakeRecordedInfo<SelfAware, InterfaceA, EnablePluginFromThis>(
              recorder);

      PluginPtr Instantiate()
      {
        return tova::test::Instantiate(this->info,
                                     MakeFakeLibrary(this->recorder));
      }
    };

    void ExpectNoInstance(const SelfAware &object)
    {
      SelfAware &mutableObject = const_cast<SelfAware &>(object);
      EXPECT_TRUE(mutableObject.PluginFromThis().IsEmpty());
      EXPECT_TRUE(object.PluginFromThis().IsEmpty());
      EXPECT_EQ(object.PluginInstancePtrFromThis(), nullptr);
    }
  }

  TEST_F(SelfReferenceTest, WiredPluginGetsAHandleToItself)
  {
    PluginPtr owner = Instantiate();
    SelfAware *const object = ObjectOf<SelfAware>(*owner);
    ASSERT_NE(static_cast<EnablePluginFromThis *>(object),
              owner->PrivateGetInstancePtr().get());

    PluginPtr self = object->PluginFromThis();
    EXPECT_EQ(self, owner);
    EXPECT_EQ(self->QueryInterface<InterfaceA>(),
              owner->QueryInterface<InterfaceA>());
    EXPECT_EQ(self->QueryInterface<EnablePluginFromThis>(), object);
    EXPECT_EQ(object->PluginInstancePtrFromThis(),
              owner->PrivateGetInstancePtr());

    owner = PluginPtr();
    EXPECT_EQ(recorder.events,
              (Events{"factory", "constructor sees no instance"}));
    EXPECT_EQ(self->QueryInterface<InterfaceA>()->ValueA(), 3);
    self = PluginPtr();
    EXPECT_EQ(recorder.events, kLifetime);
  }

  TEST_F(SelfReferenceTest, ConstAndMutableRequestsShareTheInstance)
  {
    PluginPtr owner = Instantiate();
    SelfAware *const object = ObjectOf<SelfAware>(*owner);
    PluginPtr mutableSelf = object->PluginFromThis();
    const ConstPluginPtr constSelf = std::as_const(*object).PluginFromThis();
    EXPECT_EQ(constSelf, mutableSelf);
    EXPECT_EQ(constSelf->QueryInterface<InterfaceA>(),
              mutableSelf->QueryInterface<InterfaceA>());

    owner = PluginPtr();
    mutableSelf = PluginPtr();
    EXPECT_EQ(constSelf->QueryInterface<InterfaceA>()->ValueA(), 3);
    EXPECT_EQ(recorder.events.size(), 2u);
  }

  TEST_F(SelfReferenceTest, SelfReferenceNeverKeepsThePluginAlive)
  {
    {
      const PluginPtr owner = Instantiate();
      EXPECT_FALSE(ObjectOf<SelfAware>(*owner)->PluginFromThis().IsEmpty());
    }
    EXPECT_EQ(recorder.events, kLifetime);
  }

  TEST_F(SelfReferenceTest, PluginThatDoesNotListItIsNeverWired)
  {
    const PluginPtr owner = tova::test::Instantiate(
        MakeRecordedInfo<SelfAware, InterfaceA>(recorder),
        MakeFakeLibrary(recorder));
    ASSERT_FALSE(owner.IsEmpty());
    ExpectNoInstance(*ObjectOf<SelfAware>(*owner));
  }

  TEST_F(SelfReferenceTest, WithoutInfoRequestsKeepOnlyTheInstance)
  {
    PluginPtr owner = Instantiate();
    SelfAware *const object = ObjectOf<SelfAware>(*owner);
    const std::shared_ptr<void> instance = object->PluginInstancePtrFromThis();
    owner = PluginPtr();
    info.reset();

    PluginPtr self;
    ConstPluginPtr constSelf;
    std::shared_ptr<void> again;
    EXPECT_EQ(StderrOf([&] {
                self = object->PluginFromThis();
                constSelf = std::as_const(*object).PluginFromThis();
                again = object->PluginInstancePtrFromThis();
              }),
              kCopyWithoutInfoMessage + kCopyWithoutInfoMessage +
                  kCopyWithoutInfoMessage);

    EXPECT_EQ(self->PrivateGetInstancePtr(), instance);
    EXPECT_EQ(constSelf->PrivateGetInstancePtr(), instance);
    EXPECT_EQ(self->QueryInterface<InterfaceA>(), nullptr);
    EXPECT_EQ(again, instance);
  }

  TEST_F(SelfReferenceTest, CopiesAreUnwiredAndAssignmentKeepsTheWiring)
  {
    const PluginPtr owner = Instantiate();
    EnablePluginFromThis &wired = *ObjectOf<SelfAware>(*owner);

    const EnablePluginFromThis copy(wired);
    EXPECT_TRUE(copy.PluginFromThis().IsEmpty());
    EXPECT_EQ(copy.PluginInstancePtrFromThis(), nullptr);

    EnablePluginFromThis unwired;
    unwired = wired;
    EXPECT_TRUE(unwired.PluginFromThis().IsEmpty());
    wired = unwired;
    EXPECT_EQ(wired.PluginFromThis(), owner);
  }

  TEST_F(SelfReferenceTest, RegistrationRecordListsTheSelfReference)
  {
    const auto built = std::make_shared<const Info>(
        tova::plugin::detail::registration::MakeInfo<BuiltByRegistration,
                                                     InterfaceA>());
    EXPECT_EQ(built->interfaces.count(TypeName<EnablePluginFromThis>()), 1u);

    const PluginPtr owner =
        tova::test::Instantiate(built, MakeFakeLibrary(recorder));
    auto *const object = owner->QueryInterface<EnablePluginFromThis>();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->PluginFromThis(), owner);
  }
}
