#include <gtest/gtest.h>

#include <tova/plugin/InterfaceVersion.hpp>

#include "fixture/Versioned.hpp"

namespace
{
  using tova::plugin::InterfaceVersion;
  using tova::plugin::InterfaceVersionOf;
  using Version = std::optional<InterfaceVersion>;

  static_assert(InterfaceVersionOf<shapes::Versioned>() ==
                InterfaceVersion{2, 1});
  static_assert(!InterfaceVersionOf<shapes::Unversioned>().has_value());

  struct Pairing
  {
    Version plugin;
    Version application;
    bool compatible;
  };

  class Compatibility : public testing::TestWithParam<Pairing>
  {
  };

  TEST_P(Compatibility, NeedsTheSameMajorAndAtLeastTheMinor)
  {
    EXPECT_EQ(tova::plugin::InterfaceVersionsCompatible(
                  GetParam().plugin, GetParam().application),
              GetParam().compatible);
  }

  INSTANTIATE_TEST_SUITE_P(
      Pairings, Compatibility,
      testing::Values(
          Pairing{std::nullopt, std::nullopt, true},
          Pairing{InterfaceVersion{2, 1}, std::nullopt, false},
          Pairing{std::nullopt, InterfaceVersion{2, 1}, false},
          Pairing{InterfaceVersion{2, 1}, InterfaceVersion{2, 1}, true},
          Pairing{InterfaceVersion{2, 3}, InterfaceVersion{2, 1}, true},
          Pairing{InterfaceVersion{2, 0}, InterfaceVersion{2, 1}, false},
          Pairing{InterfaceVersion{3, 1}, InterfaceVersion{2, 1}, false},
          Pairing{InterfaceVersion{1, 9}, InterfaceVersion{2, 1}, false}));
}
