#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include <tova/plugin/EnablePluginFromThis.hpp>
#include <tova/plugin/Info.hpp>
#include <tova/plugin/detail/TypeName.hpp>

#include <support/CapturedStderr.hpp>

#include "TestSupport.hpp"

namespace tova::test
{
  namespace
  {
    /// A record with one entry in every field; each function object holds
    /// `witness`, so its use count tells how many targets exist.
    Info MakeFullInfo(const std::shared_ptr<int> &witness)
    {
      Info info;
      info.name = "Full";
      info.aliases = {"first", "second"};
      info.interfaces["Key"] = [witness](void *object) { return object; };
      info.demangledInterfaces = {"Readable"};
      info.factory = [witness]() -> void * { return witness.get(); };
      info.deleter = [witness](void *) {};
      return info;
    }

    void ExpectEmpty(const Info &info)
    {
      EXPECT_TRUE(info.name.empty());
      EXPECT_TRUE(info.aliases.empty());
      EXPECT_TRUE(info.interfaces.empty());
      EXPECT_TRUE(info.demangledInterfaces.empty());
      EXPECT_FALSE(info.factory);
      EXPECT_FALSE(info.deleter);
      EXPECT_THROW(info.factory(), std::bad_function_call);
      EXPECT_THROW(info.deleter(nullptr), std::bad_function_call);
    }
  }

  TEST(InfoTest, ClearOnEmptyRecordLeavesItEmpty)
  {
    Info info;
    info.Clear();
    ExpectEmpty(info);
  }

  TEST(InfoTest, ClearEmptiesEveryFieldAndDestroysTargets)
  {
    const auto witness = std::make_shared<int>(7);
    Info info = MakeFullInfo(witness);
    ASSERT_EQ(witness.use_count(), 4);
    const auto buckets = info.interfaces.bucket_count();

    info.Clear();

    ExpectEmpty(info);
    EXPECT_EQ(witness.use_count(), 1);
    EXPECT_EQ(info.interfaces.bucket_count(), buckets);

    // The record can be filled and used again.
    info.name = "Again";
    info.factory = [witness]() -> void * { return witness.get(); };
    EXPECT_EQ(info.factory(), witness.get());
  }

  TEST(InfoTest, CopyOwnsItsOwnFunctionObjects)
  {
    const auto witness = std::make_shared<int>(7);
    const Info original = MakeFullInfo(witness);
    Info copy = original;
    EXPECT_EQ(witness.use_count(), 7);

    copy.Clear();

    EXPECT_EQ(witness.use_count(), 4);
    EXPECT_EQ(original.name, "Full");
    EXPECT_EQ(original.aliases.size(), 2u);
    EXPECT_EQ(original.demangledInterfaces.size(), 1u);
    EXPECT_EQ(original.factory(), witness.get());
    EXPECT_NO_THROW(original.deleter(nullptr));
    int object = 0;
    EXPECT_EQ(original.interfaces.at("Key")(&object), &object);
  }

  TEST(InfoTest, SelfReferenceIsKeyedByItsAbiTypeName)
  {
    EXPECT_STREQ(tova::plugin::detail::TypeName<
                     tova::plugin::EnablePluginFromThis>(),
                 typeid(tova::plugin::EnablePluginFromThis).name());
    EXPECT_STREQ(tova::plugin::detail::TypeName<
                     tova::plugin::EnablePluginFromThis>(),
                 "N4tova6plugin20EnablePluginFromThisE");
  }

  TEST(InfoTest, DemangleSymbolGivesReadableNames)
  {
    const struct
    {
      std::string symbol;
      std::string readable;
    } cases[] = {
        {"N4tova6plugin20EnablePluginFromThisE",
         "tova::plugin::EnablePluginFromThis"},
        {TypeName<InterfaceA>(), "tova::test::InterfaceA"},
        {"_ZN4tova6plugin6Plugin5ClearEv", "tova::plugin::Plugin::Clear()"},
        {"_Z3addid", "add(int, double)"},
        // Near the plain shapes that skip the general demangler.
        {"5Shape", "Shape"},
        {"N12_GLOBAL__N_16HiddenE", "(anonymous namespace)::Hidden"},
        {"N3foo3BarB5cxx11E", "foo::Bar[abi:cxx11]"},
        {"N3geo6detail7Circle2E", "geo::detail::Circle2"},
    };
    for (const auto &testCase : cases)
    {
      EXPECT_EQ(StderrOf([&] {
                  EXPECT_EQ(tova::plugin::DemangleSymbol(testCase.symbol),
                            testCase.readable);
                }),
                "");
    }
  }

  TEST(InfoTest, DemangleSymbolReportsRejectedTextAndReturnsIt)
  {
    for (const std::string symbol : {"", "tova::plugin::Info", "_Z"})
    {
      const std::string expected =
          "[Demangle] Failed to demangle the symbol name [" + symbol +
          "]. Error code: -2\n";
      std::string once;
      std::string twice;
      EXPECT_EQ(StderrOf([&] {
                  once = tova::plugin::DemangleSymbol(symbol);
                  twice = tova::plugin::DemangleSymbol(once);
                }),
                expected + expected);
      EXPECT_EQ(once, symbol);
      EXPECT_EQ(twice, symbol);
    }
  }
}
